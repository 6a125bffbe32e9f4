#pragma once

#include <time.h>

#include <chrono>

namespace azmq {

// What one turn of deliveries on an io_context may take before it yields to the io_context's
// other handlers: a number of deliveries, or about a millisecond of them, whichever comes
// first, so that a slow handler under a flood delays the others by about one call.
//
// Time is read from the kernel's coarse monotonic clock: a few nanoseconds a read, on paths
// that cost tens of nanoseconds a delivery, but it moves once per scheduler tick (1 to 4 ms).
// A turn that starts just before a tick may end early; none goes on past a millisecond and a
// tick.
class turn_budget {
public:
    explicit turn_budget(int _deliveries) : m_left(_deliveries), m_ends(now() + length) {}

    // Counts one delivery; true while the turn may go on.
    bool spend() { return --m_left > 0 && now() < m_ends; }

private:
    static constexpr std::chrono::nanoseconds length = std::chrono::milliseconds(1);

    static std::chrono::nanoseconds now() {
        timespec time;
        clock_gettime(CLOCK_MONOTONIC_COARSE, &time);
        return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
    }

    int m_left;
    std::chrono::nanoseconds m_ends;
};

}  // namespace azmq
