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
    // A curve object is whole or an error: never a relay open to all for want of a member.
    EXPECT_EQ(failure_of(R"({"system": {"output_address": "x", "curve": {"secret_key_file": 1}}})"),
              "Config file is invalid: Can not find field <string>: system.input_address\n"
              "Can not find field <string>: system.curve.secret_key_file\n"
              "Can not find field <string>: system.curve.clients_directory");
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
