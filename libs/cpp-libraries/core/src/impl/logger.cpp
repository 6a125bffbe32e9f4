#include <core/logger.h>

#include <syslog.h>

namespace zel {
namespace libs {
namespace core {

logger::logger(const std::string& _module_name, const std::string& _component_name)
    : component_logger(*this, _module_name, _component_name)
    , m_module_name(_module_name)
    , m_zmq_context()
    , m_debug_socket(m_zmq_context, ::zmq::socket_type::push) {
    m_debug_socket.set(::zmq::sockopt::linger, 5000);
    openlog(m_module_name.c_str(), should_print_to_stderr() ? LOG_PERROR : 0, LOG_USER);
    set_debug(false);
    info("Starting %1%") % m_module_name;
}

logger::~logger() {
    closelog();
    m_debug_socket.close();
}

void logger::set_debug(bool _debug) {
    setlogmask(_debug ? LOG_UPTO(LOG_DEBUG) : LOG_UPTO(LOG_INFO));
    m_debug.exchange(_debug);
}

void logger::connect(std::string _address) {
    {
        std::lock_guard<std::mutex> lock(m_socket_mutex);
        m_debug_socket.connect(_address);
    }
    debug("Connected to socket");
}

void logger::send_to_debug_socket(const std::string& _message) const {
    std::lock_guard<std::mutex> lock(m_socket_mutex);
    // An empty result is EAGAIN: no peer, or its queue is full; the record is
    // dropped for the socket. Other failures throw and drop it just the same.
    (void)m_debug_socket.send(::zmq::buffer(_message), ::zmq::send_flags::dontwait);
}

}  // namespace core
}  // namespace libs
}  // namespace zel
