#include <test_support/endpoints.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>
#include <vector>

namespace test_support {

namespace {

// The ports a test may take: those the kernel never hands out on its own, above the ports that
// well-known services listen on.
std::vector<int> ports_outside_ephemeral_range() {
    constexpr int first_port = 10000;
    constexpr int last_port = 65535;
    int ephemeral_low = 32768;
    int ephemeral_high = 60999;
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    range >> ephemeral_low >> ephemeral_high;
    std::vector<int> ports;
    for (int port = first_port; port <= last_port; ++port) {
        if (port < ephemeral_low || port > ephemeral_high) {
            ports.push_back(port);
        }
    }
    return ports;
}

// Whether a listening socket may be bound on _port now, as ZeroMQ and the servers bind theirs.
bool bindable(int _port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(_port));
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return bound;
}

// The test processes of every build tree reserve ports by locking their byte of one shared
// file: a lock of an open file description is released by the kernel when the process ends,
// however it ends, so no reservation outlives its test.
class port_reservations {
public:
    port_reservations()
        : m_fd(open("/tmp/vandrel-test-ports.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666))
        , m_ports(ports_outside_ephemeral_range()) {
        if (m_fd < 0) {
            throw std::runtime_error(std::string("cannot open the port reservations: ") +
                                     std::strerror(errno));
        }
    }

    int reserve() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        std::uniform_int_distribution<std::size_t> pick(0, m_ports.size() - 1);
        std::random_device seed;
        const std::size_t start = m_ports.empty() ? 0 : pick(seed);
        for (std::size_t i = 0; i < m_ports.size(); ++i) {
            const int port = m_ports[(start + i) % m_ports.size()];
            if (m_reserved.count(port) == 0 && lock_byte(port, F_WRLCK)) {
                if (bindable(port)) {
                    m_reserved.insert(port);
                    return port;
                }
                lock_byte(port, F_UNLCK);
            }
        }
        throw std::runtime_error("no free loopback port outside the ephemeral range");
    }

private:
    bool lock_byte(int _offset, short _type) const {
        struct flock byte {};
        byte.l_type = _type;
        byte.l_whence = SEEK_SET;
        byte.l_start = _offset;
        byte.l_len = 1;
        return fcntl(m_fd, F_OFD_SETLK, &byte) == 0;
    }

    std::mutex m_mutex;
    const int m_fd;
    const std::vector<int> m_ports;
    std::set<int> m_reserved;
};

}  // namespace

int free_tcp_port() {
    static port_reservations reservations;
    return reservations.reserve();
}

std::string free_tcp_endpoint() {
    return "tcp://127.0.0.1:" + std::to_string(free_tcp_port());
}

std::string unique_ipc_endpoint() {
    static std::atomic<int> counter{0};
    // A path left behind by an earlier process with the same pid is skipped: binding there
    // would meet its socket file.
    for (;;) {
        const std::string path =
            "/tmp/vandrel-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        if (access(path.c_str(), F_OK) != 0) {
            return "ipc://" + path;
        }
    }
}

}  // namespace test_support
