#include <core/component_logger.h>

#include <core/impl/logger/compiled_format.h>
#include <core/impl/logger/format_cache.h>
#include <core/logger.h>

#include <time.h>

#include <cstdint>
#include <ctime>
#include <limits>

namespace zel {
namespace libs {
namespace core {
namespace {

// "YYYY-mm-dd HH:MM:SS.mmm " in UTC; the part up to the seconds is formatted
// once a second on each thread.
void append_date(std::int64_t _milliseconds, record_text& _out) {
    thread_local struct {
        std::int64_t m_seconds = std::numeric_limits<std::int64_t>::min();
        char m_text[64];
        std::size_t m_size = 0;
    } cached;
    const std::int64_t seconds = _milliseconds / 1000;
    if (seconds != cached.m_seconds) {
        const auto since_epoch = static_cast<time_t>(seconds);
        tm broken_down{};
        gmtime_r(&since_epoch, &broken_down);
        cached.m_size =
            std::strftime(cached.m_text, sizeof cached.m_text, "%Y-%m-%d %H:%M:%S", &broken_down);
        cached.m_seconds = seconds;
    }
    _out.append(boost::string_view(cached.m_text, cached.m_size));
    const auto remainder = static_cast<int>(_milliseconds % 1000);
    const int millis = remainder < 0 ? -remainder : remainder;
    const char fraction[] = {'.', static_cast<char>('0' + millis / 100),
                             static_cast<char>('0' + millis / 10 % 10),
                             static_cast<char>('0' + millis % 10), ' '};
    _out.append(boost::string_view(fraction, sizeof fraction));
}

void append_indent(int _depth, record_text& _out) {
    if (_depth > 0) {
        _out.append(static_cast<std::size_t>(_depth) * 4, ' ');
        _out.append("| ");
    }
}

std::int64_t now_in_milliseconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

component_logger::formatter::formatter(int _log_level, const boost::string_view& _format,
                                       const component_logger& _logger)
    : m_log_level(_log_level), m_logger(_logger) {
    const logger& process_logger = m_logger.m_logger;
    m_to_system_log = process_logger.reaches_system_log(m_log_level);
    m_active = m_to_system_log || process_logger.sends_to_debug_socket();
    if (m_active) {
        m_compiled = format_cache::find(_format);
        if (!m_compiled) {
            use_boost_format(_format);
        }
    }
}

void component_logger::formatter::use_boost_format(boost::string_view _format) {
    m_format_text.assign(_format.data(), _format.size());
    m_format = std::make_unique<boost::format>();
    // Arguments that do not match the placeholders must not throw from a log
    // statement: missing ones render empty, extra ones are ignored.
    m_format->exceptions(boost::io::all_error_bits ^
                         (boost::io::too_many_args_bit | boost::io::too_few_args_bit));
    try {
        m_format->parse(m_format_text);
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

void component_logger::formatter::compose_body(record_text& _out) const {
    if (m_source_location) {
        _out.append(m_source_location->short_file());
        _out.push_back(':');
        _out.append_number(m_source_location->line());
        _out.push_back(' ');
    }
    if (!m_function.empty()) {
        _out.append(m_function);
        _out.append(": ");
    }
    if (m_compiled) {
        m_compiled->render(m_arguments, _out);
        return;
    }
    // Boost.Format also reads printf directives, so plain text with a percent
    // sign ("100% done" holds "% d") parses as a format expecting arguments.
    // Fed none, the statement was plain text: render it as written.
    const bool plain_text = m_format->fed_args() == 0 && m_format->expected_args() > 0;
    _out.append(m_format_is_valid && !plain_text ? boost::string_view(m_format->str())
                                                 : boost::string_view(m_format_text));
}

// The frame is the prefix, the date, the indentation and the body; the system
// log's text is the same without the prefix, and without the date or the
// indentation when they are not wanted there.
void component_logger::formatter::emit() {
    const std::int64_t milliseconds =
        m_timestamp ? m_timestamp->m_time_point.time_since_epoch().count() : now_in_milliseconds();
    record_text frame;
    frame.append(m_logger.m_zmq_prefix);
    const std::size_t date_start = frame.size();
    append_date(milliseconds, frame);
    const std::size_t date_end = frame.size();
    append_indent(m_logger.m_indent.load(), frame);
    const std::size_t body_start = frame.size();
    compose_body(frame);

    const logger& process_logger = m_logger.m_logger;
    if (m_to_system_log) {
        const bool dated = m_logger.should_print_to_stderr();
        if (process_logger.is_debug() || body_start == date_end) {
            const std::size_t start = dated ? date_start : date_end;
            process_logger.write_system_log(
                m_log_level, boost::string_view(frame.data() + start, frame.size() - start));
        } else {
            record_text text;
            if (dated) {
                text.append(frame.view(date_start, date_end));
            }
            text.append(frame.view(body_start, frame.size()));
            process_logger.write_system_log(m_log_level,
                                            boost::string_view(text.data(), text.size()));
        }
    }
    if (process_logger.is_writing_to_socket()) {
        process_logger.send_to_debug_socket(boost::string_view(frame.data(), frame.size()));
    }
}

component_logger::formatter::~formatter() {
    if (!m_active) {
        return;
    }
    // A record must never throw out of the statement that logged it: whatever
    // fails here (memory, the socket) loses the record or its socket copy only.
    try {
        emit();
    } catch (...) {
    }
}

}  // namespace core
}  // namespace libs
}  // namespace zel
