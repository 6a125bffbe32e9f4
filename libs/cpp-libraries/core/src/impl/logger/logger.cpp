#include <core/logger.h>

#include <core/impl/logger/debug_socket.h>
#include <core/impl/logger/system_log.h>

#include <syslog.h>

namespace zel {
namespace libs {
namespace core {

logger::logger(const std::string& _module_name, const std::string& _component_name)
    : logger(_module_name, _component_name, least_level::info) {}

logger::logger(const std::string& _module_name, const std::string& _component_name,
               least_level _least_level)
    : component_logger(*this, _module_name, _component_name)
    , m_module_name(_module_name)
    , m_least_level(_least_level)
    , m_debug_socket(std::make_unique<debug_socket>()) {
    // The records on standard error go out in one write each, which the C
    // library's copy does not; and a shell or a container may have no daemon
    // listening, which the C library would try to reach for every record.
    if (should_print_to_stderr()) {
        m_system_log = std::make_unique<system_log>(m_module_name, _PATH_LOG);
    } else {
        openlog(m_module_name.c_str(), LOG_NDELAY, LOG_USER);
    }
    set_debug(false);
    info("Starting %1%") % m_module_name;
}

// The debug socket goes after the system log is closed.
logger::~logger() {
    closelog();
}

void logger::set_debug(bool _debug) {
    const int least = m_least_level == least_level::warning ? LOG_WARNING : LOG_INFO;
    setlogmask(_debug ? LOG_UPTO(LOG_DEBUG) : LOG_UPTO(least));
    m_debug.exchange(_debug);
}

void logger::connect(std::string _address) {
    m_debug_socket->connect(_address);
    debug("Connected to socket");
}

void logger::connect(std::string _address, const curve::client_keys& _keys) {
    m_debug_socket->connect(_address, _keys);
    debug("Connected to socket with CURVE keys");
}

bool logger::reaches_system_log(int _log_level) const {
    // The mask is the C library's, which a program may set itself: read it.
    return (setlogmask(0) & LOG_MASK(_log_level)) != 0;
}

bool logger::sends_to_debug_socket() const {
    return is_writing_to_socket() && m_debug_socket->has_endpoint();
}

void logger::write_system_log(int _log_level, boost::string_view _text) const {
    if (m_system_log) {
        m_system_log->write(_log_level, _text);
        return;
    }
    syslog(_log_level, "%.*s", static_cast<int>(_text.size()), _text.data());
}

void logger::send_to_debug_socket(boost::string_view _frame) const {
    m_debug_socket->send(_frame);
}

}  // namespace core
}  // namespace libs
}  // namespace zel
