#include "relay_process.h"

#include <test_support/endpoints.h>

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <string>

using namespace std::chrono_literals;

namespace {

TEST(exposure, an_endpoint_beyond_loopback_is_warned_about_and_a_loopback_one_is_not) {
    const std::string input = "tcp://0.0.0.0:" + std::to_string(test_support::free_tcp_port());
    e2e::relay_process relay(input);
    EXPECT_TRUE(relay.process().wait_for_stderr(
        "The input " + input + " is not on loopback: anyone who reaches it can send records", 5s))
        << relay.process().standard_error();
    relay.process().send_signal(SIGTERM);
    const auto result = relay.process().wait(15s);
    EXPECT_EQ(result.standard_error.find("The output "), std::string::npos);
}

}  // namespace
