#include <core/component_logger.h>

#include <core/exception_to_string.h>
#include <core/logger.h>

#include <syslog.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace zel {
namespace libs {
namespace core {

component_logger::component_logger(const logger& _logger, const std::string& _module_name,
                                   const std::string& _component_name)
    : m_logger(_logger)
    , m_module_name(_module_name)
    , m_zmq_prefix("&" + _module_name + ":" + _component_name + " ") {}

component_logger::ptr component_logger::component(const std::string& _name) const {
    return std::make_unique<component_logger>(m_logger, m_module_name, _name);
}

component_logger::formatter component_logger::debug(const boost::string_view& _format) const {
    return formatter(LOG_DEBUG, _format, *this);
}

component_logger::formatter component_logger::info(const boost::string_view& _format) const {
    return formatter(LOG_INFO, _format, *this);
}

component_logger::formatter component_logger::warning(const boost::string_view& _format) const {
    return formatter(LOG_WARNING, _format, *this);
}

component_logger::formatter component_logger::error(const boost::string_view& _format) const {
    return formatter(LOG_ERR, _format, *this);
}

void component_logger::log_exception() const {
    if (m_logger.is_logger_enabled()) {
        error("%1%") % exception_to_string();
    }
}

void component_logger::log_exception(source_location _location) const {
    error("Caught exeption").location(_location);
    log_exception();
}

void component_logger::log_exception(const located_exception& _exception) const {
    if (m_logger.is_logger_enabled()) {
        error("%1%") % exception_to_string(_exception);
    }
}

void component_logger::log_error(const boost::system::error_code& _error_code,
                                 source_location _source_location) const {
    if (m_logger.is_logger_enabled()) {
        error("%1%:%2%: %3%") % _source_location.short_file() % _source_location.line() %
            _error_code.message();
    }
}

bool component_logger::should_print_to_stderr() const {
    // Read once: the environment a process was launched with decides for its
    // whole life, whatever changes it later.
    static const bool launched_by_systemd = [] {
        const char* value = std::getenv("ZEL_LAUNCHED_BY_SYSTEMD");
        return value != nullptr && std::strcmp(value, "1") == 0;
    }();
    return !launched_by_systemd || m_print_to_stderr;
}

std::string component_logger::make_indent() const {
    const int depth = m_indent.load();
    if (depth <= 0) {
        return {};
    }
    std::string indent(static_cast<std::size_t>(depth) * 4, ' ');
    indent += "| ";
    return indent;
}

component_logger::indent_guard component_logger::indent() const {
    ++m_indent;
    return make_scope_guard([this] { --m_indent; });
}

component_logger::indent_guard component_logger::enter_scope(
    const boost::string_view& _name) const {
    debug("%1%") % _name;
    return indent();
}

component_logger::indent_guard component_logger::enter_function(
    source_location _source_location) const {
    debug("%1%") % _source_location.function();
    return indent();
}

component_logger::indent_guard component_logger::enter_function_short(
    source_location _source_location, const boost::string_view& _name) const {
    debug("%1%: %2%") % _source_location.short_function() % _name;
    return indent();
}

component_logger::indent_guard component_logger::enter_scope(
    source_location _source_location) const {
    debug("%1%:%2%") % _source_location.short_file() % _source_location.line();
    return indent();
}

component_logger::indent_guard component_logger::enter_scope(
    source_location _source_location, const boost::string_view& _name) const {
    debug("%1%:%2% (%3%)") % _source_location.short_file() % _source_location.line() % _name;
    return indent();
}

}  // namespace core
}  // namespace libs
}  // namespace zel
