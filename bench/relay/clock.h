#pragma once

#include <time.h>

#include <cerrno>
#include <cstdint>

namespace relay_bench {

// CLOCK_MONOTONIC in nanoseconds: the clock of the frames' timestamps and of the producers'
// pacing, which sleeps on it with absolute deadlines.
inline std::int64_t now_ns() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

inline void sleep_until_ns(std::int64_t _deadline) {
    const timespec deadline{time_t(_deadline / 1'000'000'000), long(_deadline % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

}  // namespace relay_bench
