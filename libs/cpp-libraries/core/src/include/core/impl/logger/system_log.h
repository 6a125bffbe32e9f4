#pragma once

#include <boost/utility/string_view.hpp>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace zel {
namespace libs {
namespace core {

// The system log through a connection of the library's own to the daemon's
// datagram socket, with the C library's copy on standard error: the records
// read, on both, as the C library's syslog() writes them. Unlike the C
// library, which tries to connect again for every record while no daemon
// listens (a container has none), it tries at most once a second. Any thread
// may write, one at a time.
class system_log {
public:
    // How long a daemon may keep a record waiting: past it the record is lost
    // for the system log, and the connection is tried again a second later.
    static constexpr std::chrono::milliseconds send_timeout{100};
    static constexpr std::chrono::seconds retry_period{1};

    // _identity: the name records carry; _path: the daemon's socket, "/dev/log"
    // on Linux. Connects at once, if it can.
    system_log(std::string _identity, std::string _path);
    ~system_log();

    system_log(const system_log&) = delete;
    system_log& operator=(const system_log&) = delete;

    // _priority: a level of the LOG_USER facility. Text after a NUL is not
    // written, as with the C library.
    void write(int _priority, boost::string_view _text);

private:
    void copy_to_stderr(boost::string_view _text) const;
    void send(int _priority, boost::string_view _text);
    bool connect(std::chrono::steady_clock::time_point _now);
    void disconnect(std::chrono::steady_clock::time_point _now);
    // "Mmm dd HH:MM:SS" in local time, formatted once a second.
    boost::string_view header_time();

    const std::string m_identity;
    const std::string m_path;
    std::mutex m_mutex;
    int m_socket = -1;
    std::chrono::steady_clock::time_point m_next_attempt;
    std::int64_t m_time_second = -1;
    char m_time[32] = {};
};

}  // namespace core
}  // namespace libs
}  // namespace zel
