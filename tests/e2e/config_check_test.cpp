// vandrel -t: the configuration checked, nothing bound.
#include "relay_process.h"

#include <test_support/endpoints.h>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(config_check, a_valid_file_exits_0_binding_nothing_and_names_unknown_members) {
    const auto endpoint = test_support::free_tcp_endpoint();
    const e2e::config_file config(R"({"system": {"input_address": ")" + endpoint +
                                  R"(", "output_address": ")" + endpoint +
                                  R"(", "outptu_hwm": 5}})");
    // Both on one port: only binding could fail.
    const auto result = e2e::run_relay({"-t", "-c", config.path()});
    EXPECT_EQ(result.exit_status, 0) << result.standard_error;
    EXPECT_NE(result.standard_error.find("system.outptu_hwm is not a member the relay knows"),
              std::string::npos)
        << result.standard_error;
    EXPECT_NE(result.standard_error.find("Config file " + config.path() + " is valid"),
              std::string::npos);
}

TEST(config_check, an_invalid_file_exits_1) {
    const e2e::config_file config(R"({"system": {"input_address": "tcp://127.0.0.1:1"}})");
    const auto result = e2e::run_relay({"-t", "-c", config.path()});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.standard_error.find("system.output_address is missing"), std::string::npos)
        << result.standard_error;
}

}  // namespace
