// The relay's counters as a scraper reads them.
#include "relay_process.h"

#include <test_support/endpoints.h>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

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
        if (std::regex_search(http_get(_port, "/metrics"), wanted)) {
            return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

TEST(metrics, count_a_known_load_and_the_peers_as_they_come_and_go) {
    const int port = test_support::free_tcp_port();
    const auto input = test_support::free_tcp_endpoint();
    const auto output = test_support::free_tcp_endpoint();
    const e2e::config_file config(
        R"({"system": {"input_address": ")" + input + R"(", "output_address": ")" + output +
        R"(", "metrics_address": "127.0.0.1:)" + std::to_string(port) + R"("}})");
    test_support::child_process relay(VANDREL_BINARY, {"-c", config.path()});
    ASSERT_TRUE(relay.wait_for_stderr("metrics at http://127.0.0.1:", 5s))
        << relay.standard_error();

    zmq::context_t context;
    zmq::socket_t subscriber(context, zmq::socket_type::sub);
    subscriber.connect(output);
    {
        zmq::socket_t producer(context, zmq::socket_type::push);
        producer.connect(input);
        for (int i = 0; i < 10; ++i) {
            producer.send(zmq::buffer(std::string(100, 'f')), zmq::send_flags::none);
        }
        EXPECT_TRUE(scrape_until(port,
                                 "vandrel_frames_received_total 10\n(.*\n)*"
                                 "vandrel_bytes_received_total 1000\n(.*\n)*"
                                 "vandrel_frames_published_total 10\n(.*\n)*"
                                 "vandrel_producers 1\n(.*\n)*vandrel_subscribers 1\n"));
    }
    EXPECT_TRUE(scrape_until(port, "vandrel_producers 0\n"));
    EXPECT_NE(http_get(port, "/metrics").find("Content-Type: text/plain; version=0.0.4"),
              std::string::npos);
    EXPECT_EQ(http_get(port, "/other").rfind("HTTP/1.1 404 ", 0), 0u);
    // Peers that only hold connections do not keep a scraper out.
    std::vector<int> idle;
    for (int i = 0; i < 40; ++i) {
        idle.push_back(connect_to(port));
    }
    EXPECT_NE(http_get(port, "/metrics").find("vandrel_producers 0"), std::string::npos);
    for (const int fd : idle) {
        close(fd);
    }

    relay.send_signal(SIGTERM);
    const auto log = relay.wait(15s).standard_error;
    EXPECT_NE(log.find("totals: 10 frames relayed, 1000 bytes, 0 producers, 1 subscribers\n"),
              std::string::npos)
        << log;
}

}  // namespace
