// The relay's counters as a scraper reads them.
#include "relay_process.h"

#include <test_support/endpoints.h>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

TEST(metrics, count_a_known_load_and_the_peers_as_they_come_and_go) {
    const int port = test_support::free_tcp_port();
    const int input_port = test_support::free_tcp_port();
    const auto input = "tcp://127.0.0.1:" + std::to_string(input_port);
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
    // Connections that never complete a ZeroMQ handshake are no producers, neither while they
    // last nor when they end: one silent, one speaking another protocol.
    const int silent = e2e::connect_to(input_port);
    const int stranger = e2e::connect_to(input_port);
    const std::string request = "GET / HTTP/1.0\r\n\r\n";
    ASSERT_EQ(write(stranger, request.data(), request.size()), ssize_t(request.size()));
    {
        zmq::socket_t producer(context, zmq::socket_type::push);
        producer.connect(input);
        for (int i = 0; i < 10; ++i) {
            producer.send(zmq::buffer(std::string(100, 'f')), zmq::send_flags::none);
        }
        EXPECT_TRUE(e2e::scrape_until(port,
                                      "vandrel_frames_received_total 10\n(.*\n)*"
                                      "vandrel_bytes_received_total 1000\n(.*\n)*"
                                      "vandrel_frames_published_total 10\n(.*\n)*"
                                      "vandrel_producers 1\n(.*\n)*vandrel_subscribers 1\n"));
        close(silent);
        close(stranger);
    }
    EXPECT_TRUE(e2e::scrape_until(port, "vandrel_producers 0\n"));
    EXPECT_NE(e2e::http_get(port, "/metrics").find("Content-Type: text/plain; version=0.0.4"),
              std::string::npos);
    EXPECT_EQ(e2e::http_get(port, "/other").rfind("HTTP/1.1 404 ", 0), 0u);
    // Peers that only hold connections do not keep a scraper out.
    std::vector<int> idle;
    for (int i = 0; i < 40; ++i) {
        idle.push_back(e2e::connect_to(port));
    }
    EXPECT_NE(e2e::http_get(port, "/metrics").find("vandrel_producers 0"), std::string::npos);
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
