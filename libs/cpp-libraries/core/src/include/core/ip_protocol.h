#pragma once

namespace zel {
namespace libs {
namespace core {

// The IP version of a socket; for a bound or listening socket, its any-address (0.0.0.0 or ::).
// Any value other than v4 counts as v6.
enum class ip_protocol : int {
    v4 = 0,
    v6 = 1,
};

}  // namespace core
}  // namespace libs
}  // namespace zel
