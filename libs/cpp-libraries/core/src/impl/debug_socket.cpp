#include <core/impl/debug_socket.h>

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
    std::lock_guard<std::mutex> lock(m_socket_mutex);
    m_debug_socket.connect(_address);
}

void debug_socket::connect(const std::string& _address, const curve::client_keys& _keys) {
    std::lock_guard<std::mutex> lock(m_socket_mutex);
    _keys.apply(m_debug_socket.handle());
    m_debug_socket.connect(_address);
}

void debug_socket::send(const std::string& _message) {
    std::lock_guard<std::mutex> lock(m_socket_mutex);
    // An empty result is EAGAIN: no peer, or its queue is full; the record is
    // dropped for the socket. Other failures throw and drop it just the same.
    (void)m_debug_socket.send(::zmq::buffer(_message), ::zmq::send_flags::dontwait);
}

}  // namespace core
}  // namespace libs
}  // namespace zel
