#pragma once

#include <core/located_exception.h>
#include <core/record_arguments.h>
#include <core/scope_guard.h>
#include <core/source_location.h>
#include <core/timestamp.h>

#include <boost/format.hpp>
#include <boost/optional.hpp>
#include <boost/smart_ptr/intrusive_ptr.hpp>
#include <boost/system/error_code.hpp>
#include <boost/utility/string_view.hpp>

#include <atomic>
#include <memory>
#include <string>
#include <utility>

namespace zel {
namespace libs {
namespace core {

class logger;
class compiled_format;

// The logger of one component of an application. Records go to the system log
// (copied to standard error unless launched by systemd) and, when the process
// logger writes to its debug socket, to that socket prefixed with
// "&application:component ".
class component_logger {
public:
    using ptr = std::unique_ptr<component_logger>;
    using indent_guard = scope_guard;

    // One record under construction; it is composed and emitted when the
    // statement that made it ends, or when a record kept in a variable goes out
    // of scope. A record owns what it renders (its arguments as they come, its
    // format read or copied), so the texts it was given may go before it does;
    // it belongs to the thread that made it. A record that goes nowhere (its
    // level masked in the system log, and no socket to send it to) composes
    // nothing.
    //
    // Each thread keeps the formats it logs, read, to find them again by
    // address: at most 1,024 formats and 512 KiB, the least recently logged
    // going first; a format longer than 4 KiB is read for its record alone.
    class formatter {
    public:
        formatter(int _log_level, const boost::string_view& _format,
                  const component_logger& _logger);
        ~formatter();

        // The level operations return it as a prvalue, which needs no move;
        // a moved-from one would emit its record a second time.
        formatter(formatter&&) = delete;
        formatter(const formatter&) = delete;
        formatter& operator=(const formatter&) = delete;

        template <class T>
        formatter& operator%(T&& _argument) {
            if (m_compiled) {
                m_arguments.add(_argument);
            } else if (m_format && m_format_is_valid) {
                *m_format % std::forward<T>(_argument);
            }
            return *this;
        }

        formatter& location(source_location _source_location);
        formatter& function(source_location _source_location);
        formatter& short_function(source_location _source_location);
        formatter& date_time(timestamp _timestamp);

    private:
        void use_boost_format(boost::string_view _format);
        void compose_body(record_text& _out) const;
        void emit();

        // The format is read once per thread and its arguments rendered as
        // they come; a format with other directives than "%N%" and "%%" goes
        // through Boost.Format, its text kept for a record that is plain text.
        boost::intrusive_ptr<const compiled_format> m_compiled;
        record_arguments m_arguments;
        std::unique_ptr<boost::format> m_format;
        std::string m_format_text;
        bool m_format_is_valid = true;
        bool m_to_system_log = false;
        bool m_active = false;
        int m_log_level;
        const component_logger& m_logger;
        boost::optional<source_location> m_source_location;
        boost::string_view m_function;
        boost::optional<timestamp> m_timestamp;
    };

    component_logger(const logger& _logger, const std::string& _module_name,
                     const std::string& _component_name);
    virtual ~component_logger() = default;

    component_logger(const component_logger&) = delete;
    component_logger& operator=(const component_logger&) = delete;

    // A sibling component of the same application (components are flat).
    ptr component(const std::string& _name) const;

    formatter debug(const boost::string_view& _format) const;
    formatter info(const boost::string_view& _format) const;
    formatter warning(const boost::string_view& _format) const;
    formatter error(const boost::string_view& _format) const;

    // Call inside a catch block: logs the exception being handled.
    void log_exception() const;
    // Call inside a catch block: "Caught exeption" at _location, then the exception.
    void log_exception(source_location _location) const;
    void log_exception(const located_exception& _exception) const;
    // How asynchronous completions report an unexpected error code.
    void log_error(const boost::system::error_code& _error_code,
                   source_location _source_location) const;

    // Runs _f; whatever it throws is logged and false returned.
    template <class F>
    bool execute(F&& _f) const {
        try {
            std::forward<F>(_f)();
            return true;
        } catch (...) {
            log_exception();
            return false;
        }
    }

    // Scope tracing: each logs one debug record at the current depth and
    // returns a guard that keeps the records of this component one level
    // deeper until it is destroyed.
    indent_guard enter_scope(const boost::string_view& _name) const;
    indent_guard enter_function(source_location _source_location) const;
    indent_guard enter_function_short(source_location _source_location,
                                      const boost::string_view& _name) const;
    indent_guard enter_scope(source_location _source_location) const;
    indent_guard enter_scope(source_location _source_location,
                             const boost::string_view& _name) const;

    void set_print_to_stderr(bool _value) { m_print_to_stderr = _value; }
    bool should_print_to_stderr() const;
    std::string make_indent() const;

private:
    indent_guard indent() const;

    mutable std::atomic<int> m_indent{0};
    const logger& m_logger;
    std::string m_module_name;
    std::string m_zmq_prefix;
    bool m_print_to_stderr = false;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
