#include "read_json.h"

#include <json/value.h>

#include <gtest/gtest.h>

#include <string>

using namespace zel::libs::config;

namespace {

const config::ptr document = read_json(R"({
    "name": "relay",
    "system": {
        "input_address": "tcp://in", "port": 5, "ratio": 0.5, "debug": true,
        "huge": 3000000000, "list": ["x"], "nested": {"deep": {"leaf": "found"}}
    }
})");

std::string reason(const std::initializer_list<std::string>& _path) {
    return document->get_by_path<std::string>(_path).reason();
}

}  // namespace

TEST(get_by_path, finds_strings_at_every_depth) {
    EXPECT_EQ(document->get_by_path<std::string>({"name"}).value(), "relay");
    EXPECT_EQ(document->get_by_path<std::string>({"system", "input_address"}).value(), "tcp://in");
    EXPECT_EQ(document->get_by_path<std::string>({"system", "nested", "deep", "leaf"}).value(),
              "found");
}

TEST(get_by_path, names_the_missing_object_up_to_the_failing_key) {
    EXPECT_EQ(reason({"absent", "nested", "leaf"}),
              "Can not find object <object>: absent, path: absent.nested.leaf");
    EXPECT_EQ(
        reason({"system", "input_address", "leaf"}),
        "Can not find object <object>: system.input_address, path: system.input_address.leaf");
    EXPECT_EQ(
        reason({"system", "nested", "absent", "leaf"}),
        "Can not find object <object>: system.nested.absent, path: system.nested.absent.leaf");
}

TEST(get_by_path, names_the_field_that_is_absent_or_not_a_string) {
    EXPECT_EQ(reason({"input_address"}), "Can not find field <string>: input_address");
    for (const std::string key : {"absent", "nested", "list", "port", "debug"}) {
        EXPECT_EQ(reason({"system", key}), "Can not find field <string>: system." + key);
    }
}

TEST(get_by_path, reads_other_scalars_with_their_own_type_names) {
    EXPECT_EQ(document->get_by_path<int>({"system", "port"}).value(), 5);
    EXPECT_EQ(document->get_by_path<double>({"system", "ratio"}).value(), 0.5);
    EXPECT_TRUE(document->get_by_path<bool>({"system", "debug"}).value());
    EXPECT_EQ(document->get_by_path<int>({"system", "ratio"}).reason(),
              "Can not find field <int>: system.ratio");
    EXPECT_EQ(document->get_by_path<double>({"name"}).reason(),
              "Can not find field <double>: name");
    EXPECT_EQ(document->get_by_path<bool>({"system", "port"}).reason(),
              "Can not find field <bool>: system.port");
    EXPECT_THROW(document->get_by_path<int>({"system", "huge"}), Json::LogicError);
}
