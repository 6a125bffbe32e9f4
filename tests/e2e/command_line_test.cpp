// The habits every program shares on its command line.
#include <test_support/child_process.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct program {
    const char* path;
    const char* name;
};

TEST(command_line, help_prints_the_usage_and_version_the_name_and_version_on_standard_output) {
    for (const program& tested : {program{VANDREL_TAIL_BINARY, "vandrel-tail"},
                                  program{HEARTBEAT_SERVICE_BINARY, "heartbeat_service"}}) {
        for (const char* option : {"-h", "--help"}) {
            test_support::child_process child(tested.path, {option}, {},
                                              test_support::child_process::output::captured);
            const auto result = child.wait(20s);
            EXPECT_EQ(result.exit_status, 0) << tested.name << ' ' << option;
            EXPECT_EQ(result.standard_output.find("sage: "), 1u) << result.standard_output;
            EXPECT_EQ(result.standard_error, "") << tested.name << ' ' << option;
        }
        test_support::child_process child(tested.path, {"--version"}, {},
                                          test_support::child_process::output::captured);
        const auto result = child.wait(20s);
        EXPECT_EQ(result.exit_status, 0) << tested.name;
        EXPECT_EQ(result.standard_output, std::string(tested.name) + " " VANDREL_VERSION "\n");
        EXPECT_EQ(result.standard_error, "") << tested.name;
    }
}

}  // namespace
