// The relay under a service manager, which a datagram socket of the test stands in for.
#include "relay_process.h"

#include <core/constants.h>
#include <test_support/endpoints.h>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Reads notifications into _seen until one matches _wanted, for at most about 10 s.
bool read_until(e2e::notify_socket& _manager, std::vector<std::string>& _seen,
                const std::string& _wanted) {
    for (int read = 0; read < 100; ++read) {
        _seen.push_back(_manager.receive(100ms));
        if (std::regex_match(_seen.back(), std::regex(_wanted))) {
            return true;
        }
    }
    return false;
}

TEST(service_manager, ready_once_bound_then_status_and_watchdog_until_stopping) {
    e2e::notify_socket manager;
    const auto input = test_support::unique_ipc_endpoint();
    e2e::relay_process relay(input, "tcp://127.0.0.1:*",
                             {manager.environment(), "WATCHDOG_USEC=200000"});
    std::vector<std::string> seen;
    ASSERT_TRUE(read_until(manager, seen, "READY=1")) << relay.process().wait(1s).standard_error;
    // Both endpoints are bound by then, and the start record names them as bound.
    EXPECT_EQ(access(input.substr(6).c_str(), F_OK), 0);
    EXPECT_TRUE(relay.process().wait_for_stderr(
        "vandrel " + zel::libs::core::constants::git_version + ", configuration " +
            relay.config_path() + ", input " + input + ", output tcp://127.0.0.1:",
        5s));
    EXPECT_TRUE(std::regex_search(relay.process().standard_error(),
                                  std::regex(", output tcp://127\\.0\\.0\\.1:[0-9]+\n")));

    zmq::context_t context;
    zmq::socket_t producer(context, zmq::socket_type::push);
    producer.set(zmq::sockopt::linger, 0);
    producer.connect(input);
    for (int sent = 0; sent < 100; ++sent) {
        producer.send(zmq::str_buffer("frame"), zmq::send_flags::none);
    }
    EXPECT_TRUE(read_until(manager, seen, "STATUS=[1-9][0-9]{2,} frames relayed, .*"));
    relay.process().send_signal(SIGTERM);
    EXPECT_TRUE(read_until(manager, seen, "STOPPING=1"));
    EXPECT_EQ(relay.process().wait(15s).exit_status, 0);

    // Nothing else is sent, readiness once, and the status from the start.
    seen.erase(std::remove(seen.begin(), seen.end(), ""), seen.end());
    const std::regex known(
        "READY=1|WATCHDOG=1|STOPPING=1|STATUS=[0-9]+ frames relayed, [0-9]+ bytes, [0-9]+ "
        "producers, [0-9]+ subscribers");
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(),
                            [&](const std::string& _n) { return std::regex_match(_n, known); }));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "READY=1"), 1);
    EXPECT_GE(std::count(seen.begin(), seen.end(), "WATCHDOG=1"), 2);
    EXPECT_EQ(seen.front(), "STATUS=0 frames relayed, 0 bytes, 0 producers, 0 subscribers");
}

}  // namespace
