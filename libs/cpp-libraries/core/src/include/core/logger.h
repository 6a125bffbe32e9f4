#pragma once

#include <core/component_logger.h>

#include <atomic>
#include <memory>
#include <string>

namespace zel {
namespace libs {
namespace core {

class debug_socket;
class system_log;
namespace curve {
struct client_keys;
}  // namespace curve

// The process logger: made first, destroyed last, and itself the logger of the
// application's main component. Besides the system log it owns the debug
// socket, a ZeroMQ PUSH socket on which a relay can collect the records.
class logger : public component_logger {
public:
    // The least level of the records that reach the system log (and standard
    // error) while debug records are off.
    enum class least_level { info, warning };

    logger(const std::string& _module_name, const std::string& _component_name);
    // A tool whose output is its own, a viewer say, takes warning: it then
    // writes nothing on a normal run, its start record included.
    logger(const std::string& _module_name, const std::string& _component_name,
           least_level _least_level);
    ~logger() override;

    bool is_debug() const { return m_debug; }
    // Lets debug records through the system log, or stops them there.
    void set_debug(bool _debug);

    bool is_writing_to_socket() const { return m_writing_to_socket; }
    void set_writing_to_socket(bool _writing_to_socket) {
        m_writing_to_socket.exchange(_writing_to_socket);
    }

    bool is_logger_enabled() const { return m_enable_logger; }

    // Connects the debug socket; throws ::zmq::error_t (cppzmq's zmq.hpp) when
    // ZeroMQ refuses.
    void connect(std::string _address);
    // The same as a CURVE client with _keys (core/curve/client_keys.h): a relay that does not
    // admit them receives nothing, and the records are never sent in plain text. Throws
    // exception when libzmq refuses the keys.
    void connect(std::string _address, const curve::client_keys& _keys);

private:
    friend class component_logger::formatter;

    // Whether a record of _log_level passes the system log's mask.
    bool reaches_system_log(int _log_level) const;
    // Whether records go to the debug socket: writing to it, and an endpoint
    // connected (without one every send gives up).
    bool sends_to_debug_socket() const;
    void write_system_log(int _log_level, boost::string_view _text) const;
    void send_to_debug_socket(boost::string_view _frame) const;

    // Its buffer is the system log's identity, so it lives as long as the logger.
    std::string m_module_name;
    const least_level m_least_level;
    std::atomic<bool> m_debug{false};
    std::atomic<bool> m_writing_to_socket{true};
    bool m_enable_logger = true;
    // Its own type keeps ZeroMQ's headers out of every file that logs.
    std::unique_ptr<debug_socket> m_debug_socket;
    // Where records are copied on standard error; null under systemd, whose
    // journal always listens: the C library's syslog() then, connected once.
    std::unique_ptr<system_log> m_system_log;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
