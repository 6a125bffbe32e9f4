#pragma once

#include <chrono>

namespace zel {
namespace libs {
namespace core {

// A wall-clock instant with millisecond resolution.
struct timestamp {
    using time_point =
        std::chrono::time_point<std::chrono::system_clock, std::chrono::milliseconds>;

    time_point m_time_point;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
