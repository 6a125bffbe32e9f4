#include "relay_process.h"

#include <test_support/endpoints.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <regex>
#include <system_error>
#include <thread>

namespace e2e {

config_file::config_file(const std::string& _contents)
    : m_directory("vandrel-e2e-"), m_path(m_directory.path("vandrel.json")) {
    std::ofstream(m_path) << _contents;
}

std::string relay_config(const std::string& _input, const std::string& _output,
                         const std::string& _members) {
    return R"({"system": {"input_address": ")" + _input + R"(", "output_address": ")" + _output +
           R"(")" + (_members.empty() ? "" : ", " + _members) + "}}";
}

// A loopback connection to _port, or -1.
int connect_to(int _port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(_port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The whole response to GET _target, read until the server closes; empty when it cannot connect.
std::string http_get(int _port, const std::string& _target) {
    const int fd = connect_to(_port);
    std::string response;
    if (fd >= 0) {
        const std::string request = "GET " + _target + " HTTP/1.1\r\nHost: x\r\n\r\n";
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char buffer[4096];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
            response.append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    return response;
}

// Scrapes until _pattern is found in the response, at most about 5 s.
bool scrape_until(int _port, const std::string& _pattern) {
    const std::regex wanted(_pattern);
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (std::regex_search(e2e::http_get(_port, "/metrics"), wanted)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

notify_socket::notify_socket()
    : m_directory("vandrel-e2e-")
    , m_path(m_directory.path("notify"))
    , m_fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, m_path.c_str(), sizeof address.sun_path - 1);
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        close(m_fd);
        throw std::system_error(error, std::generic_category(), "notify socket " + m_path);
    }
}

std::string notify_socket::receive(std::chrono::milliseconds _timeout) {
    pollfd pfd{m_fd, POLLIN, 0};
    char buffer[4096];
    const ssize_t size = poll(&pfd, 1, static_cast<int>(_timeout.count())) > 0
                             ? recv(m_fd, buffer, sizeof buffer, 0)
                             : 0;
    return std::string(buffer, size > 0 ? static_cast<std::size_t>(size) : 0);
}

relay_process::relay_process(const std::string& _input_endpoint,
                             const std::string& _output_endpoint,
                             const std::vector<std::string>& _environment,
                             const std::string& _members)
    : m_input(_input_endpoint.empty() ? test_support::free_tcp_endpoint() : _input_endpoint)
    , m_output(_output_endpoint.empty() ? test_support::free_tcp_endpoint() : _output_endpoint)
    , m_config(std::make_unique<config_file>(relay_config(m_input, m_output, _members)))
    , m_process(std::make_unique<test_support::child_process>(
          VANDREL_BINARY, std::vector<std::string>{"-c", m_config->path()}, _environment)) {}

bool relay_process::wait_until_relaying(zmq::context_t& _context, zmq::socket_t& _subscriber) {
    zmq::socket_t probe(_context, zmq::socket_type::push);
    probe.set(zmq::sockopt::linger, 0);
    probe.set(zmq::sockopt::ipv6, true);  // IPv4 endpoints are reached all the same
    probe.connect(m_input);
    _subscriber.set(zmq::sockopt::rcvtimeo, 50);
    bool relaying = false;
    for (int attempt = 0; attempt < 200 && !relaying; ++attempt) {
        probe.send(zmq::str_buffer("probe"), zmq::send_flags::dontwait);
        zmq::message_t frame;
        relaying = _subscriber.recv(frame).has_value();
    }
    _subscriber.set(zmq::sockopt::rcvtimeo, 10000);
    if (!relaying) {
        return false;
    }
    // Probes still in flight must not reach the test's reads. They travel in
    // order on one connection, so once a last marker arrives none is left.
    probe.send(zmq::str_buffer("probes end"), zmq::send_flags::none);
    return drain_probes(_subscriber);
}

bool drain_probes(zmq::socket_t& _subscriber) {
    // Other producers' frames may come before the marker, hence the generous bounds.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    zmq::message_t frame;
    for (int read = 0; read < 1000000 && std::chrono::steady_clock::now() < deadline; ++read) {
        if (!_subscriber.recv(frame)) {
            return false;
        }
        if (frame.to_string_view() == "probes end") {
            return true;
        }
    }
    return false;
}

test_support::child_result run_relay(const std::vector<std::string>& _args,
                                     const std::vector<std::string>& _environment,
                                     std::chrono::milliseconds _timeout) {
    test_support::child_process relay(VANDREL_BINARY, _args, _environment);
    return relay.wait(_timeout);
}

double resident_mib(int _pid) {
    std::ifstream status("/proc/" + std::to_string(_pid) + "/status");
    for (std::string field; status >> field;) {
        if (field == "VmRSS:") {
            double kib = 0;
            status >> kib;
            return kib / 1024;
        }
    }
    return 0;
}

}  // namespace e2e
