#include <core/impl/logger/debug_socket.h>

namespace zel {
namespace libs {
namespace core {

debug_socket::debug_socket()
    : m_zmq_context(), m_debug_socket(m_zmq_context, ::zmq::socket_type::push) {
    m_debug_socket.set(::zmq::sockopt::linger, 5000);
}

debug_socket::~debug_socket() {
    m_debug_socket.close();
}

void debug_socket::connect(const std::string& _address) {
    std::lock_guard<adaptive_mutex> lock(m_socket_mutex);
    m_debug_socket.connect(_address);
    m_has_endpoint = true;
}

void debug_socket::connect(const std::string& _address, const curve::client_keys& _keys) {
    std::lock_guard<adaptive_mutex> lock(m_socket_mutex);
    _keys.apply(m_debug_socket.handle());
    m_debug_socket.connect(_address);
    m_has_endpoint = true;
}

void debug_socket::send(boost::string_view _message) {
    // The frame is made before the lock, which only the send itself holds:
    // threads that log at once wait for each other as little as can be.
    ::zmq::message_t frame(_message.data(), _message.size());
    std::lock_guard<adaptive_mutex> lock(m_socket_mutex);
    // An empty result is EAGAIN: no peer, or its queue is full; the record is
    // dropped for the socket. Other failures throw and drop it just the same.
    (void)m_debug_socket.send(frame, ::zmq::send_flags::dontwait);
}

}  // namespace core
}  // namespace libs
}  // namespace zel
