#pragma once

#include <core/curve/client_keys.h>
#include <core/impl/logger/adaptive_mutex.h>

#include <boost/utility/string_view.hpp>
#include <zmq.hpp>

#include <atomic>
#include <mutex>
#include <string>

namespace zel {
namespace libs {
namespace core {

// The process logger's ZeroMQ PUSH socket, with a context of its own; any thread
// may use it, one at a time. Creating it throws ::zmq::error_t when ZeroMQ fails.
class debug_socket {
public:
    debug_socket();
    // Waits up to the linger (5 s) for queued records to be delivered.
    ~debug_socket();

    debug_socket(const debug_socket&) = delete;
    debug_socket& operator=(const debug_socket&) = delete;

    // Throws ::zmq::error_t when ZeroMQ refuses _address.
    void connect(const std::string& _address);
    // The same as a CURVE client; throws exception when libzmq refuses _keys.
    void connect(const std::string& _address, const curve::client_keys& _keys);
    // Never blocks: a record the socket cannot take at once is dropped.
    void send(boost::string_view _message);
    // Whether an endpoint was ever connected: before, every send gives up.
    bool has_endpoint() const { return m_has_endpoint.load(std::memory_order_relaxed); }

private:
    ::zmq::context_t m_zmq_context;
    adaptive_mutex m_socket_mutex;
    ::zmq::socket_t m_debug_socket;
    std::atomic<bool> m_has_endpoint{false};
};

}  // namespace core
}  // namespace libs
}  // namespace zel
