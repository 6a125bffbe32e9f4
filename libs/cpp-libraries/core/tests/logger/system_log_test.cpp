#include <core/impl/logger/system_log.h>

#include <test_support/scratch_directory.h>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <regex>
#include <string>

namespace core = zel::libs::core;

namespace {

// A system-log daemon of the test's own: a datagram socket bound at _path,
// removed with it.
class log_daemon {
public:
    explicit log_daemon(const std::string& _path) : m_path(_path) {
        m_socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, _path.c_str(), sizeof address.sun_path - 1);
        const timeval timeout{0, 50000};
        ::setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        EXPECT_EQ(::bind(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    }
    ~log_daemon() {
        ::close(m_socket);
        ::unlink(m_path.c_str());
    }

    // The next datagram, or nothing within 50 ms.
    std::optional<std::string> receive() const {
        char datagram[1024];
        const ssize_t size = ::recv(m_socket, datagram, sizeof datagram, 0);
        return size < 0 ? std::nullopt
                        : std::optional<std::string>(std::string(datagram, std::size_t(size)));
    }

private:
    std::string m_path;
    int m_socket;
};

TEST(system_log_daemon, is_reached_again_once_it_listens) {
    const test_support::scratch_directory directory("system_log");
    const std::string path = directory.path("log");
    core::system_log log("vandrel", path);
    log.write(LOG_INFO, "lost: nobody listens");
    const std::regex record(
        "<12>[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} vandrel: record [0-9]+");
    // Comes, goes and comes back: each time reached within the retry period.
    for (int round = 0; round < 2; ++round) {
        const log_daemon daemon(path);
        std::optional<std::string> received;
        for (int n = 0; n < 100 && !received; ++n) {  // 5 s at most
            log.write(LOG_WARNING, "record " + std::to_string(n));
            received = daemon.receive();
        }
        ASSERT_TRUE(received) << "round " << round;
        EXPECT_TRUE(std::regex_match(*received, record)) << *received;
    }
}

}  // namespace
