#include <core/component_logger.h>

#include <core/logger.h>

#include <syslog.h>
#include <time.h>

#include <cstdio>

namespace zel {
namespace libs {
namespace core {
namespace {

// "YYYY-mm-dd HH:MM:SS.mmm " in UTC.
std::string date_part(std::int64_t _milliseconds) {
    const time_t seconds = static_cast<time_t>(_milliseconds / 1000);
    tm broken_down{};
    gmtime_r(&seconds, &broken_down);
    char text[64];
    std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &broken_down);
    const auto millis = static_cast<int>(_milliseconds % 1000);
    length += static_cast<std::size_t>(std::snprintf(text + length, sizeof text - length, ".%03d ",
                                                     millis < 0 ? -millis : millis));
    return std::string(text, length);
}

std::int64_t now_in_milliseconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

component_logger::formatter::formatter(int _log_level, const boost::string_view& _format,
                                       const component_logger& _logger)
    : m_raw_format(_format), m_log_level(_log_level), m_logger(_logger) {
    // Arguments that do not match the placeholders must not throw from a log
    // statement: missing ones render empty, extra ones are ignored.
    m_format.exceptions(boost::io::all_error_bits ^
                        (boost::io::too_many_args_bit | boost::io::too_few_args_bit));
    try {
        m_format.parse(m_raw_format);
    } catch (const boost::io::format_error&) {
        // A format that is not one (user text with a stray "%") is logged as
        // it stands rather than lost.
        m_format_is_valid = false;
    }
}

component_logger::formatter& component_logger::formatter::location(
    source_location _source_location) {
    m_source_location = _source_location;
    return *this;
}

component_logger::formatter& component_logger::formatter::function(
    source_location _source_location) {
    m_function = _source_location.function();
    return *this;
}

component_logger::formatter& component_logger::formatter::short_function(
    source_location _source_location) {
    m_function = _source_location.short_function();
    return *this;
}

component_logger::formatter& component_logger::formatter::date_time(timestamp _timestamp) {
    m_timestamp = _timestamp;
    return *this;
}

std::string component_logger::formatter::compose_body() {
    std::string body;
    if (m_source_location) {
        const auto file = m_source_location->short_file();
        body.append(file.data(), file.size());
        body += ':';
        body += std::to_string(m_source_location->line());
        body += ' ';
    }
    if (!m_function.empty()) {
        body.append(m_function.data(), m_function.size());
        body += ": ";
    }
    // Boost.Format also reads printf directives, so plain text with a percent
    // sign ("100% done" holds "% d") parses as a format expecting arguments.
    // Fed none, the statement was plain text: render it as written.
    const bool plain_text = m_format.fed_args() == 0 && m_format.expected_args() > 0;
    body += m_format_is_valid && !plain_text ? m_format.str() : m_raw_format;
    return body;
}

component_logger::formatter::~formatter() {
    // A record must never throw out of the statement that logged it: whatever
    // fails here (memory, the socket) loses the record or its socket copy only.
    try {
        const std::int64_t milliseconds = m_timestamp
                                              ? m_timestamp->m_time_point.time_since_epoch().count()
                                              : now_in_milliseconds();
        const std::string date = date_part(milliseconds);
        const std::string body = compose_body();
        const logger& process_logger = m_logger.m_logger;
        const std::string indent = m_logger.make_indent();

        std::string syslog_message;
        if (m_logger.should_print_to_stderr()) {
            syslog_message += date;
        }
        if (process_logger.is_debug()) {
            syslog_message += indent;
        }
        syslog_message += body;
        syslog(m_log_level, "%s", syslog_message.c_str());

        if (process_logger.is_writing_to_socket()) {
            process_logger.send_to_debug_socket(m_logger.m_zmq_prefix + date + indent + body);
        }
    } catch (...) {
    }
}

}  // namespace core
}  // namespace libs
}  // namespace zel
