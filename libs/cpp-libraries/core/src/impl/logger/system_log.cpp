#include <core/impl/logger/system_log.h>

#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace zel {
namespace libs {
namespace core {
namespace {

// Writes all of _parts to standard error, in one system call unless the
// descriptor takes less.
void write_all(iovec* _parts, int _count) {
    while (_count > 0) {
        ssize_t written = ::writev(STDERR_FILENO, _parts, _count);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        while (_count > 0 && static_cast<std::size_t>(written) >= _parts->iov_len) {
            written -= static_cast<ssize_t>(_parts->iov_len);
            ++_parts;
            --_count;
        }
        if (_count > 0) {
            _parts->iov_base = static_cast<char*>(_parts->iov_base) + written;
            _parts->iov_len -= static_cast<std::size_t>(written);
        }
    }
}

iovec part(boost::string_view _text) {
    return {const_cast<char*>(_text.data()), _text.size()};
}

}  // namespace

system_log::system_log(std::string _identity, std::string _path)
    : m_identity(std::move(_identity)), m_path(std::move(_path)) {
    connect(std::chrono::steady_clock::now());
}

system_log::~system_log() {
    if (m_socket >= 0) {
        ::close(m_socket);
    }
}

void system_log::write(int _priority, boost::string_view _text) {
    _text = _text.substr(0, _text.find('\0'));
    std::lock_guard<std::mutex> lock(m_mutex);
    send(_priority, _text);
    copy_to_stderr(_text);
}

// "identity: text" and a new line, unless the text ends with one.
void system_log::copy_to_stderr(boost::string_view _text) const {
    const bool ends_line = !_text.empty() && _text.back() == '\n';
    iovec parts[] = {part(m_identity), part(": "), part(_text), part(ends_line ? "" : "\n")};
    write_all(parts, 4);
}

void system_log::send(int _priority, boost::string_view _text) {
    const auto now = std::chrono::steady_clock::now();
    if (m_socket < 0 && !connect(now)) {
        return;
    }
    // "<priority>Mmm dd HH:MM:SS identity: text", the facility in the priority.
    char priority[16] = "<";
    char* end = std::to_chars(priority + 1, priority + 15, _priority | LOG_USER).ptr;
    *end++ = '>';
    iovec parts[] = {part(boost::string_view(priority, static_cast<std::size_t>(end - priority))),
                     part(header_time()),
                     part(" "),
                     part(m_identity),
                     part(": "),
                     part(_text)};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 6;
    while (::sendmsg(m_socket, &message, MSG_NOSIGNAL) < 0) {
        if (errno == EMSGSIZE) {
            return;  // this record only: larger than the daemon takes
        }
        if (errno != EINTR) {
            disconnect(now);
            return;
        }
    }
}

bool system_log::connect(std::chrono::steady_clock::time_point _now) {
    if (_now < m_next_attempt) {
        return false;
    }
    m_socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, m_path.c_str(), sizeof address.sun_path - 1);
    const timeval timeout{0, static_cast<suseconds_t>(send_timeout.count() * 1000)};
    if (m_socket < 0 ||
        ::setsockopt(m_socket, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) != 0 ||
        ::connect(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        disconnect(_now);
        return false;
    }
    return true;
}

void system_log::disconnect(std::chrono::steady_clock::time_point _now) {
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
    m_next_attempt = _now + retry_period;
}

boost::string_view system_log::header_time() {
    const time_t now = ::time(nullptr);
    if (now != m_time_second) {
        static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        tm local{};
        localtime_r(&now, &local);
        std::snprintf(m_time, sizeof m_time, "%s %2d %02d:%02d:%02d", months[local.tm_mon % 12],
                      local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
        m_time_second = now;
    }
    return m_time;
}

}  // namespace core
}  // namespace libs
}  // namespace zel
