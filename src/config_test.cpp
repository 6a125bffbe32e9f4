#include "config.h"

#include <core/exception.h>

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string failure_of(const std::string& _document) {
    std::istringstream stream(_document);
    try {
        zel::config config(stream, "f.json");
    } catch (const zel::libs::core::exception& e) {
        return e.get_string_error();
    }
    return "no exception";
}

TEST(broker_config, reads_both_endpoints_and_ignores_the_rest) {
    std::istringstream stream(R"({"other": 1, "system": {"input_address": "tcp://a:1",
        "extra": [1, 2], "output_address": "ipc://b"}})");
    const zel::config config(stream, "f.json");
    EXPECT_EQ(config.system.input_address, "tcp://a:1");
    EXPECT_EQ(config.system.output_address, "ipc://b");
}

TEST(broker_config, every_missing_or_mistyped_key_is_named_in_one_message_with_the_file) {
    const std::string invalid = "Config file f.json is invalid: ";
    EXPECT_EQ(failure_of("{}"), invalid + "the object system is missing");
    EXPECT_EQ(failure_of(R"({"system": []})"), invalid + "system must be an object, not an array");
    EXPECT_EQ(failure_of(R"({"system": {"metrics_address": null}})"),
              invalid +
                  "system.input_address is missing\nsystem.output_address is missing\n"
                  "system.metrics_address must be a string, not null");
    EXPECT_EQ(failure_of(R"({"system": {"input_address": "ipc://x", "output_address": 5,
        "history_bytes": 1.5}})"),
              invalid +
                  "system.output_address must be a string, not a number\n"
                  "system.history_bytes must be a whole number, not a number");
    // A curve object is whole or an error: never a relay open to all for want of a member.
    EXPECT_EQ(failure_of(R"({"system": {"input_address": "ipc://x", "output_address": "ipc://y",
        "curve": {"secret_key_file": 1}}})"),
              invalid +
                  "system.curve.secret_key_file must be a string, not a number\n"
                  "system.curve.clients_directory is missing");
}

TEST(broker_config, unknown_members_of_system_are_warned_about_by_name) {
    std::istringstream stream(
        R"({"system": {"input_address": "ipc://a", "output_address": "ipc://b", "outptu_hwm": 1}})");
    const zel::config config(stream, "f.json");
    EXPECT_EQ(config.warnings,
              std::vector<std::string>{"Config file f.json: system.outptu_hwm is not a member "
                                       "the relay knows, and is ignored"});
}

TEST(broker_config, the_history_is_off_unless_its_address_is_given_and_its_bound_checked) {
    const std::string endpoints = R"("input_address": "ipc://a", "output_address": "ipc://b")";
    std::istringstream absent("{\"system\": {" + endpoints + "}}");
    const zel::config defaults(absent, "f.json");
    EXPECT_EQ(defaults.system.history_address, "");
    EXPECT_EQ(defaults.system.history_bytes, zel::config::default_history_bytes);
    std::istringstream given("{\"system\": {" + endpoints +
                             R"(, "history_address": "ipc://h", "history_bytes": 5000}})");
    const zel::config history(given, "f.json");
    EXPECT_EQ(history.system.history_address, "ipc://h");
    EXPECT_EQ(history.system.history_bytes, 5000u);
    for (const char* wrong : {R"("history_address": 1)", R"("history_bytes": 4095)",
                              R"("history_bytes": 5000.5)", R"("history_bytes": "5000")"}) {
        EXPECT_NE(failure_of("{\"system\": {" + endpoints + ", " + wrong + "}}")
                      .find("Config file f.json is invalid: "),
                  std::string::npos)
            << wrong;
    }
}

TEST(broker_config, a_document_that_is_not_json_fails_in_the_parser) {
    std::istringstream stream("{ not json");
    try {
        zel::config config(stream, "f.json");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot parse json: ", 0), 0u) << e.what();
    }
}

}  // namespace
