#pragma once

#include "endpoints.h"

#include <atomic>
#include <cstdint>
#include <thread>

namespace relay_bench {

// A CURVE client with a key of its own, which no relay admits, handshaking with a relay's input
// as fast as it can: each time it is refused, it connects again. It runs on a thread of its own,
// at the lowest priority with its own libzmq context, so that the load it measures against, on
// the same core, keeps the core first. Stops when it goes.
class flooder {
public:
    explicit flooder(const endpoints& _relay);
    ~flooder();

    flooder(const flooder&) = delete;
    flooder& operator=(const flooder&) = delete;

    // Handshakes the relay refused so far.
    std::uint64_t refused() const { return m_refused.load(std::memory_order_relaxed); }

private:
    void run(const endpoints& _relay);

    std::atomic<bool> m_stopping{false};
    std::atomic<std::uint64_t> m_refused{0};
    std::thread m_thread;
};

}  // namespace relay_bench
