#include "config.h"

#include <core/exception.h>

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

namespace {

std::string failure_of(const std::string& _document) {
    std::istringstream stream(_document);
    try {
        zel::config config(stream);
    } catch (const zel::libs::core::exception& e) {
        return e.get_string_error();
    }
    return "no exception";
}

TEST(broker_config, reads_both_endpoints_and_ignores_the_rest) {
    std::istringstream stream(R"({"other": 1, "system": {"input_address": "tcp://a:1",
        "extra": [1, 2], "output_address": ""}})");
    const zel::config config(stream);
    EXPECT_EQ(config.system.input_address, "tcp://a:1");
    EXPECT_EQ(config.system.output_address, "");
}

TEST(broker_config, every_missing_or_mistyped_key_is_named_in_one_message) {
    EXPECT_EQ(failure_of("{}"),
              "Config file is invalid: Can not find object <object>: system, path: "
              "system.input_address\nCan not find object <object>: system, path: "
              "system.output_address");
    EXPECT_EQ(failure_of(R"({"system": {}})"),
              "Config file is invalid: Can not find field <string>: system.input_address\n"
              "Can not find field <string>: system.output_address");
    EXPECT_EQ(failure_of(R"({"system": {"input_address": "x", "output_address": 5}})"),
              "Config file is invalid: Can not find field <string>: system.output_address");
}

TEST(broker_config, the_history_is_off_unless_its_address_is_given_and_its_bound_checked) {
    const std::string endpoints = R"("input_address": "a", "output_address": "b")";
    std::istringstream absent("{\"system\": {" + endpoints + "}}");
    const zel::config defaults(absent);
    EXPECT_EQ(defaults.system.history_address, "");
    EXPECT_EQ(defaults.system.history_bytes, zel::config::default_history_bytes);
    std::istringstream given("{\"system\": {" + endpoints +
                             R"(, "history_address": "h", "history_bytes": 5000}})");
    const zel::config history(given);
    EXPECT_EQ(history.system.history_address, "h");
    EXPECT_EQ(history.system.history_bytes, 5000u);
    for (const char* wrong : {R"("history_address": 1)", R"("history_bytes": 4095)",
                              R"("history_bytes": 5000.5)", R"("history_bytes": "5000")"}) {
        EXPECT_NE(failure_of("{\"system\": {" + endpoints + ", " + wrong + "}}")
                      .find("Config file is invalid: "),
                  std::string::npos)
            << wrong;
    }
}

TEST(broker_config, a_document_that_is_not_json_fails_in_the_parser) {
    std::istringstream stream("{ not json");
    try {
        zel::config config(stream);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot parse json: ", 0), 0u) << e.what();
    }
}

}  // namespace
