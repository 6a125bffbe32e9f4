// vandrel -t: the configuration checked, nothing bound.
#include "relay_process.h"

#include <core/curve/key_pair.h>
#include <test_support/endpoints.h>
#include <test_support/scratch_directory.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

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

// Each configuration a start refuses before it binds: -t refuses it too, and both say the same,
// naming the member or the file.
TEST(config_check, refuses_what_the_start_refuses_with_the_same_message) {
    const test_support::scratch_directory keys("vandrel-keys-");
    zel::libs::core::curve::key_pair::generate().write(keys.path("relay"));
    for (const auto* name : {"short.key", "long.key"}) {
        std::ofstream(keys.path(name)) << std::string(name[0] == 's' ? 39 : 41, 'a') << "\n";
    }
    const auto curve = [&](const std::string& _key, const std::string& _clients) {
        return R"("curve": {"secret_key_file": ")" + _key + R"(", "clients_directory": ")" +
               _clients + R"("})";
    };
    const auto free = test_support::free_tcp_endpoint();
    const auto other = test_support::free_tcp_endpoint();
    const auto valid = [&](const std::string& _members) {
        return e2e::relay_config(free, other, _members);
    };
    const struct {
        std::string document;
        std::string message;
    } cases[] = {
        {e2e::relay_config("127.0.0.1:5", other),
         R"(system.input_address must be tcp://HOST:PORT or ipc://PATH, not "127.0.0.1:5")"},
        {valid(R"("metrics_address": "127.0.0.1")"),
         R"(system.metrics_address must be HOST:PORT, not "127.0.0.1")"},
        {valid(R"("history_address": "ipc://h", "history_bytes": 1099511627776)"),
         "system.history_bytes is 1099511627776 bytes, more than the "},
        {valid(curve(keys.path("short.key"), keys.path())),
         "system.curve.secret_key_file: Key file " + keys.path("short.key") + ": holds no Z85"},
        {valid(curve(keys.path("long.key"), keys.path())),
         "system.curve.secret_key_file: Key file " + keys.path("long.key") + ": holds no Z85"},
        {valid(curve(keys.path(), keys.path())),
         "system.curve.secret_key_file: Key file " + keys.path() + ": Is a directory"},
        {valid(curve(keys.path("relay.key"), keys.path("none"))),
         "system.curve.clients_directory: Cannot read the clients directory " + keys.path("none") +
             ": No such file or directory"},
    };
    for (const auto& c : cases) {
        const e2e::config_file config(c.document);
        for (const auto& args : {std::vector<std::string>{"-t", "-c", config.path()},
                                 std::vector<std::string>{"-c", config.path()}}) {
            const auto result = e2e::run_relay(args);
            EXPECT_EQ(result.exit_status, 1) << c.document << "\n" << result.standard_error;
            EXPECT_NE(result.standard_error.find(c.message), std::string::npos)
                << c.message << "\n"
                << result.standard_error;
        }
    }
    const auto result = e2e::run_relay({"-t", "-c", "/dev/zero"});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.standard_error.find("Config file /dev/zero is larger than 16777216 bytes"),
              std::string::npos)
        << result.standard_error;
}

// The first input is one no start could bind: the last one counts.
TEST(config_check, a_member_given_twice_is_warned_about_by_its_path) {
    const e2e::config_file config(
        e2e::relay_config("nope", test_support::free_tcp_endpoint(),
                          R"("input_address": ")" + test_support::free_tcp_endpoint() + "\""));
    const auto result = e2e::run_relay({"-t", "-c", config.path()});
    EXPECT_EQ(result.exit_status, 0) << result.standard_error;
    EXPECT_NE(result.standard_error.find("Config file " + config.path() +
                                         ": system.input_address is given more than once; the "
                                         "last one counts"),
              std::string::npos)
        << result.standard_error;
}

}  // namespace
