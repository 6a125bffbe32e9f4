#pragma once

#include <chrono>

namespace zel {
namespace libs {
namespace core {

// A wall-clock instant with millisecond resolution.
struct timestamp {
    using time_point =
        std::chrono::time_point<std::chrono::system_clock, std::chrono::milliseconds>;

    // The Unix epoch.
    timestamp() = default;
    // Whole seconds since the Unix epoch plus the milliseconds within the
    // second, the way the wall clock is read.
    timestamp(std::chrono::seconds _seconds, std::chrono::milliseconds _milliseconds)
        : m_time_point(_seconds + _milliseconds) {}
    explicit timestamp(std::chrono::milliseconds _since_epoch) : m_time_point(_since_epoch) {}
    // A bare number names no unit, so it must not become an instant.
    timestamp(int) = delete;

    time_point m_time_point;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
