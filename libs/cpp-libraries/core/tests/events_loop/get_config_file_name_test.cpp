#include <core/get_config_file_name.h>

#include <test_support/child_process.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace core = zel::libs::core;

namespace {

std::string read(std::vector<std::string> _words) {
    std::vector<char*> argv;
    for (auto& word : _words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    return core::get_config_file_name(static_cast<int>(_words.size()), argv.data());
}

std::string failure_of(std::vector<std::string> _words) {
    try {
        read(std::move(_words));
    } catch (const core::exception& e) {
        return e.get_string_error();
    }
    return "no exception";
}

TEST(get_config_file_name, takes_the_last_value_in_either_form) {
    EXPECT_EQ(read({"./vandrel", "-c", "a.json"}), "a.json");
    EXPECT_EQ(read({"./vandrel", "-c", "a.json", "-c", "b.json"}), "b.json");
    EXPECT_EQ(read({"./vandrel", "-cattached.json"}), "attached.json");
    EXPECT_EQ(read({"./vandrel", "operand", "-c", "x.json", "other"}), "x.json");
}

TEST(get_config_file_name, a_missing_or_empty_value_names_the_usage) {
    EXPECT_EQ(failure_of({"bin/vandrel"}),
              "The configuration file is not defined! Usage: bin/vandrel -c config_file");
    EXPECT_EQ(failure_of({"bin/vandrel", "-c", ""}),
              "The configuration file is not defined! Usage: bin/vandrel -c config_file");
}

TEST(get_config_file_name, an_empty_argument_list_names_the_project_in_the_usage) {
    char* argv[] = {nullptr};
    try {
        core::get_config_file_name(0, argv);
        FAIL() << "no exception";
    } catch (const core::exception& e) {
        EXPECT_EQ(e.get_string_error(),
                  "The configuration file is not defined! Usage: vandrel -c config_file");
    }
}

TEST(get_config_file_name, a_bad_option_throws_after_the_parsers_own_diagnostic) {
    const auto result = test_support::run_in_child([] {
        const auto unknown = failure_of({"./vandrel", "-x"});
        const auto no_value = failure_of({"./vandrel", "-c"});
        const std::string expected = "Usage: ./vandrel -c config_file";
        return unknown == expected && no_value == expected ? 0 : 1;
    });
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_NE(result.standard_error.find("invalid option -- 'x'"), std::string::npos)
        << result.standard_error;
    EXPECT_NE(result.standard_error.find("option requires an argument -- 'c'"), std::string::npos)
        << result.standard_error;
}

TEST(get_config_file_name, the_throw_carries_the_location_in_the_header) {
    try {
        read({"./vandrel"});
        FAIL() << "no exception";
    } catch (const core::exception& e) {
        EXPECT_EQ(e.get_source_location().short_file(),
                  "/libs/cpp-libraries/core/src/include/core/get_config_file_name.h");
        EXPECT_EQ(e.get_source_location().function(),
                  "std::string zel::libs::core::get_config_file_name(int, char**)");
    }
}

}  // namespace
