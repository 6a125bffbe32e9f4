#include <test_support/redis_server.h>

#include <test_support/child_process.h>
#include <test_support/endpoints.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

namespace test_support {
namespace {

using clock = std::chrono::steady_clock;

constexpr char server_path[] = "/usr/bin/redis-server";
constexpr auto start_timeout = std::chrono::seconds(10);
constexpr auto stop_timeout = std::chrono::seconds(5);
// One attempt to reach a server that is still starting; short, so that a server that died in the
// meantime is noticed soon.
constexpr auto probe_timeout = std::chrono::seconds(1);
constexpr auto probe_interval = std::chrono::milliseconds(20);
constexpr std::size_t receive_chunk = 64 * 1024;

class descriptor {
public:
    explicit descriptor(int _fd) : m_fd(_fd) {}
    ~descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    descriptor(const descriptor&) = delete;
    descriptor& operator=(const descriptor&) = delete;

    int get() const { return m_fd; }

private:
    int m_fd;
};

// One blocking exchange with the server under a single deadline. Non-blocking underneath, so that
// neither connecting, sending nor a reply that stops halfway can outlast it.
class connection {
public:
    connection(int _port, clock::time_point _deadline)
        : m_socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0))
        , m_deadline(_deadline) {
        if (m_socket.get() < 0) {
            throw std::system_error(errno, std::generic_category(), "socket");
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(_port));
        if (::connect(m_socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            return;
        }
        if (errno != EINPROGRESS) {
            throw std::system_error(errno, std::generic_category(), "connect");
        }
        wait_for(POLLOUT);
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(m_socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            error = errno;
        }
        if (error != 0) {
            throw std::system_error(error, std::generic_category(), "connect");
        }
    }

    void send_all(std::string_view _data) {
        while (!_data.empty()) {
            const auto sent = ::send(m_socket.get(), _data.data(), _data.size(), MSG_NOSIGNAL);
            if (sent >= 0) {
                _data.remove_prefix(static_cast<std::size_t>(sent));
            } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
                wait_for(POLLOUT);
            } else if (errno != EINTR) {
                throw std::system_error(errno, std::generic_category(), "send");
            }
        }
    }

    // The raw text of the first complete reply; the connection carries nothing else.
    std::string read_reply() {
        skip_reply();
        m_input.resize(m_position);
        return std::move(m_input);
    }

private:
    void skip_reply() {
        const std::string header = next_line();
        if (header.empty()) {
            throw std::runtime_error("empty reply header");
        }
        const char type = header.front();
        switch (type) {
            case '+':
            case '-':
            case ':':
            // The line types of RESP3, which a connection speaks after HELLO 3.
            case '_':
            case ',':
            case '#':
            case '(':
                return;
            case '$':
            case '!':
            case '=': {
                const long long length = number_in(header);
                if (type == '$' && length == -1) {
                    return;
                }
                if (length < 0) {
                    throw std::runtime_error("negative length in \"" + header + "\"");
                }
                skip_bytes(static_cast<std::size_t>(length) + 2);
                if (m_input.compare(m_position - 2, 2, "\r\n") != 0) {
                    throw std::runtime_error("no CRLF after " + header);
                }
                return;
            }
            case '*':
            case '~':
            case '>':
            case '%':
            case '|': {
                long long count = number_in(header);
                if (type == '*' && count == -1) {
                    return;
                }
                if (count < 0) {
                    throw std::runtime_error("negative count in \"" + header + "\"");
                }
                if (type == '%' || type == '|') {
                    count *= 2;
                }
                for (long long i = 0; i < count; ++i) {
                    skip_reply();
                }
                // Attributes come ahead of the reply they annotate.
                if (type == '|') {
                    skip_reply();
                }
                return;
            }
            default:
                throw std::runtime_error("unknown reply type in \"" + header + "\"");
        }
    }

    static long long number_in(const std::string& _header) {
        long long value = 0;
        const char* end = _header.data() + _header.size();
        const auto [rest, error] = std::from_chars(_header.data() + 1, end, value);
        if (error != std::errc() || rest != end) {
            throw std::runtime_error("malformed number in \"" + _header + "\"");
        }
        return value;
    }

    // The next line without its CRLF, consumed.
    std::string next_line() {
        std::size_t searched = m_position;
        for (;;) {
            const auto end = m_input.find("\r\n", searched);
            if (end != std::string::npos) {
                std::string line = m_input.substr(m_position, end - m_position);
                m_position = end + 2;
                return line;
            }
            // A CR last in the buffer may begin the CRLF still to come.
            searched = m_input.size() > m_position ? m_input.size() - 1 : m_position;
            receive();
        }
    }

    void skip_bytes(std::size_t _count) {
        // With room for the chunk that completes it, so that the last receive does not copy it.
        m_input.reserve(m_position + _count + receive_chunk);
        while (m_input.size() - m_position < _count) {
            receive();
        }
        m_position += _count;
    }

    void receive() {
        wait_for(POLLIN);
        const std::size_t size = m_input.size();
        m_input.resize(size + receive_chunk);
        const auto received = ::recv(m_socket.get(), m_input.data() + size, receive_chunk, 0);
        m_input.resize(size + static_cast<std::size_t>(received > 0 ? received : 0));
        if (received == 0) {
            throw std::runtime_error("connection closed before the reply was complete");
        }
        if (received < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "recv");
        }
    }

    void wait_for(short _events) {
        for (;;) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(m_deadline - clock::now());
            if (left.count() <= 0) {
                throw std::runtime_error("no reply in time");
            }
            pollfd pfd{m_socket.get(), _events, 0};
            const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
            if (ready > 0) {
                return;
            }
            if (ready < 0 && errno != EINTR) {
                throw std::system_error(errno, std::generic_category(), "poll");
            }
        }
    }

    descriptor m_socket;
    clock::time_point m_deadline;
    std::string m_input;
    std::size_t m_position = 0;
};

std::string exchange(int _port, const std::vector<std::string>& _args,
                     clock::time_point _deadline) {
    std::string request = "*" + std::to_string(_args.size()) + "\r\n";
    for (const auto& argument : _args) {
        request += "$" + std::to_string(argument.size()) + "\r\n";
        request += argument;
        request += "\r\n";
    }
    connection link(_port, _deadline);
    link.send_all(request);
    return link.read_reply();
}

// Looks without reaping, so that child_process still reaps it and never signals a reused pid.
bool has_exited(int _pid) {
    siginfo_t info{};
    // A child that cannot be waited for is gone already.
    if (::waitid(P_PID, static_cast<id_t>(_pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        return true;
    }
    return info.si_pid != 0;
}

std::string contents_of(const std::string& _path) {
    std::ifstream file(_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

// The directory is absolute: the server changes into it before it opens the log named relative
// to it.
redis_server::redis_server() : m_directory("vandrel-redis-") {
    start(false);
}

redis_server::~redis_server() {
    stop();
}

void redis_server::restart() {
    stop();
    start(true);
}

std::string redis_server::command(const std::vector<std::string>& _args,
                                  std::chrono::milliseconds _timeout) const {
    return exchange(m_port, _args, clock::now() + _timeout);
}

void redis_server::send_signal(int _signal) const {
    m_process->send_signal(_signal);
}

void redis_server::kill_clients() const {
    const std::string reply = command({"CLIENT", "KILL", "TYPE", "normal", "SKIPME", "yes"});
    if (reply.empty() || reply.front() != ':') {
        throw std::runtime_error("CLIENT KILL answered " + reply);
    }
}

std::vector<std::string> redis_server::arguments() const {
    std::vector<std::string> arguments;
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"port", std::to_string(m_port)},
             {"bind", "127.0.0.1"},
             {"protected-mode", "yes"},
             {"save", ""},
             {"appendonly", "no"},
             {"dir", m_directory.path()},
             // A file rather than the standard error pipe, which nothing drains while the
             // server runs.
             {"logfile", log_path()},
             {"loglevel", "warning"},
             {"daemonize", "no"},
         }) {
        arguments.push_back("--" + name);
        arguments.push_back(value);
    }
    return arguments;
}

std::string redis_server::log_path() const {
    return m_directory.path("redis.log");
}

void redis_server::start(bool _keep_port) {
    if (::access(server_path, X_OK) != 0) {
        throw std::runtime_error(std::string(server_path) + " is not installed");
    }
    const auto deadline = clock::now() + start_timeout;
    for (;;) {
        if (!_keep_port) {
            m_port = free_tcp_port();
        }
        std::error_code ignored;
        std::filesystem::remove(log_path(), ignored);
        m_process = std::make_unique<child_process>(server_path, arguments());
        const std::string own_pid = "\r\nprocess_id:" + std::to_string(m_process->pid()) + "\r\n";
        bool exited = false;
        while (clock::now() < deadline) {
            if (has_exited(m_process->pid())) {
                exited = true;
                break;
            }
            try {
                const auto probe_deadline = std::min(deadline, clock::now() + probe_timeout);
                // Another test's server may have taken the port first and be the one answering.
                if (exchange(m_port, {"PING"}, probe_deadline) == "+PONG\r\n" &&
                    exchange(m_port, {"INFO", "server"}, probe_deadline).find(own_pid) !=
                        std::string::npos) {
                    return;
                }
            } catch (const std::runtime_error&) {
                // Not listening yet: asked again after the interval.
            }
            std::this_thread::sleep_for(probe_interval);
        }
        // The last probe may have used up the time while the server was ending.
        exited = exited || has_exited(m_process->pid());
        const std::string output = stop();
        if (exited && output.find("Address already in use") != std::string::npos &&
            clock::now() < deadline) {
            std::this_thread::sleep_for(probe_interval);
            continue;
        }
        std::ostringstream message;
        message << "redis-server on port " << m_port << ' '
                << (exited ? "ended while starting" : "did not answer PING in time") << ":\n"
                << output;
        throw std::runtime_error(message.str());
    }
}

std::string redis_server::stop() {
    if (!m_process) {
        return {};
    }
    m_process->send_signal(SIGTERM);
    // A stopped server would take the signal only once continued.
    m_process->send_signal(SIGCONT);
    const auto result = m_process->wait(stop_timeout);
    m_process.reset();
    return result.standard_error + contents_of(log_path());
}

}  // namespace test_support
