#pragma once

#include <mutex>

namespace azmq {
namespace detail {

// The lock around every libzmq call on one socket and around the socket's receive state.
// libzmq sockets are not thread-safe; a socket used from one thread only can leave the lock
// off, which saves the uncontended lock and unlock.
class socket_mutex {
public:
    explicit socket_mutex(bool _enabled) : m_enabled(_enabled) {}

    socket_mutex(const socket_mutex&) = delete;
    socket_mutex& operator=(const socket_mutex&) = delete;

    void lock() {
        if (m_enabled) {
            m_mutex.lock();
        }
    }

    void unlock() {
        if (m_enabled) {
            m_mutex.unlock();
        }
    }

private:
    const bool m_enabled;
    std::mutex m_mutex;
};

}  // namespace detail
}  // namespace azmq
