#include "relay_process.h"

#include <test_support/endpoints.h>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <fstream>
#include <string>
#include <vector>

namespace {

// Every failure to start is one logged error, exit status 1 (2 for a usage error) and no
// notification.
void expect_logged_failure(const std::vector<std::string>& _args, const std::string& _message,
                           int _status = 1) {
    e2e::notify_socket manager;
    const auto result = e2e::run_relay(_args, {manager.environment()});
    EXPECT_EQ(manager.receive(std::chrono::milliseconds(0)), "");
    EXPECT_TRUE(result.exited) << result.standard_error;
    EXPECT_EQ(result.exit_status, _status) << _message;
    EXPECT_NE(result.standard_error.find(_message), std::string::npos)
        << "expected: " << _message << "\nlog:\n"
        << result.standard_error;
    EXPECT_EQ(result.standard_error.find(" exit\n"), std::string::npos) << result.standard_error;
}

TEST(startup_failure, command_line_errors_name_the_usage) {
    const std::string program = VANDREL_BINARY;
    const std::string usage = "Usage: " + program + " [-t] -c config_file";
    expect_logged_failure({}, "The configuration file is not defined! " + usage, 2);
    expect_logged_failure({"-x"}, usage, 2);
    expect_logged_failure({"-c"}, "option requires an argument -- 'c'", 2);
}

TEST(startup_failure, unreadable_or_invalid_documents_are_parse_errors_naming_the_file) {
    const e2e::config_file invalid("{\"system\": ");
    const e2e::config_file empty("");
    const test_support::scratch_directory directory("vandrel-e2e-");
    for (const auto& [path, reason] : std::vector<std::pair<std::string, std::string>>{
             {"/nonexistent/vandrel.json", "No such file or directory\n"},
             {directory.path(), "Is a directory\n"},
             {empty.path(), "* Line 1, Column 1\n"},
             {invalid.path(), "* Line 1, Column 12\n"}}) {
        expect_logged_failure({"-c", path},
                              "std::exception::what(): Cannot parse json: " + path + ": " + reason);
    }
}

TEST(startup_failure, missing_and_mistyped_keys_are_named_together_with_the_file) {
    const e2e::config_file mistyped(R"({"system": {"input_address": 1}})");
    expect_logged_failure({"-c", mistyped.path()}, "/src/config.cpp:");
    expect_logged_failure({"-c", mistyped.path()},
                          "Config file " + mistyped.path() +
                              " is invalid: system.input_address must be a string, not a "
                              "number\nsystem.output_address is missing");
}

TEST(startup_failure, endpoints_that_zeromq_refuses_are_logged) {
    const e2e::config_file bad_scheme(e2e::relay_config("nope://x", "tcp://127.0.0.1:1"));
    expect_logged_failure(
        {"-c", bad_scheme.path()},
        R"(system.input_address must be tcp://HOST:PORT or ipc://PATH, not "nope://x")");

    zmq::context_t context;
    zmq::socket_t holder(context, zmq::socket_type::pull);
    const auto taken = test_support::free_tcp_endpoint();
    holder.bind(taken);
    const e2e::config_file in_use(e2e::relay_config(test_support::free_tcp_endpoint(), taken));
    expect_logged_failure({"-c", in_use.path()},
                          "Cannot bind the output to " + taken + ": Address already in use");
}

TEST(startup_failure, endpoints_zeromq_would_misread_or_take_over_are_refused) {
    const auto free = test_support::free_tcp_endpoint();
    const auto ipc = test_support::unique_ipc_endpoint();
    const e2e::config_file someones_file("someone's data");
    const struct {
        std::string input;
        std::string message;
    } cases[] = {
        {"tcp://127.0.0.1:99999", R"(not "tcp://127.0.0.1:99999")"},
        {free + "\\u0000junk", "not \"" + free + "\\x00junk\""},
        {ipc, "Address already in use"},
        {"ipc://" + someones_file.path(), "Address already in use"},
    };
    for (const auto& c : cases) {
        // The output binds first: for the ipc case it holds the path the input then asks for.
        const e2e::config_file config(e2e::relay_config(c.input, c.input == ipc ? ipc : free));
        expect_logged_failure({"-c", config.path()}, c.message);
    }
    std::string kept;
    std::getline(std::ifstream(someones_file.path()), kept);
    EXPECT_EQ(kept, "someone's data");
}

}  // namespace
