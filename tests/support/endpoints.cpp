#include <test_support/endpoints.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

namespace test_support {

int free_tcp_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        throw std::runtime_error("no free loopback port");
    }
    close(fd);
    return ntohs(address.sin_port);
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
