// The habits every program shares on its command line.
#include <test_support/child_process.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct expectation {
    std::string program;
    std::string option;
    // What standard output begins with; for a version, all it holds.
    std::string output;
};

TEST(command_line, help_and_version_print_on_standard_output_exit_0_and_log_nothing) {
    const std::string relay = VANDREL_BINARY;
    const std::string tail = VANDREL_TAIL_BINARY;
    const std::string service = HEARTBEAT_SERVICE_BINARY;
    const std::vector<expectation> cases = {
        {relay, "-h", "Usage: " + relay + " [-t] -c config_file\n"},
        {relay, "--help", "Usage: " + relay + " [-t] -c config_file\n"},
        {relay, "-V", "vandrel " VANDREL_VERSION "\n"},
        {relay, "--version", "vandrel " VANDREL_VERSION "\n"},
        {tail, "-h", "usage: vandrel-tail "},
        {tail, "--help", "usage: vandrel-tail "},
        {tail, "--version", "vandrel-tail " VANDREL_VERSION "\n"},
        {service, "-h", "Usage: " + service + " "},
        {service, "--help", "Usage: " + service + " "},
        {service, "--version", "heartbeat_service " VANDREL_VERSION "\n"},
    };
    for (const auto& c : cases) {
        test_support::child_process child(c.program, {c.option}, {},
                                          test_support::child_process::output::captured);
        const auto result = child.wait(20s);
        EXPECT_EQ(result.exit_status, 0) << c.program << ' ' << c.option;
        EXPECT_EQ(result.standard_output.rfind(c.output, 0), 0u) << result.standard_output;
        if (c.option == "-V" || c.option == "--version") {
            EXPECT_EQ(result.standard_output, c.output);
        }
        EXPECT_EQ(result.standard_error, "") << c.program << ' ' << c.option;
    }
}

}  // namespace
