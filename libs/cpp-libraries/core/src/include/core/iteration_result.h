#pragma once

namespace zel {
namespace libs {
namespace core {

// How a walk over a collection ended.
enum class iteration_result {
    // Every element was visited.
    finished = 0,
    // The visitor asked to stop before the end.
    interrupted = 1
};

}  // namespace core
}  // namespace libs
}  // namespace zel
