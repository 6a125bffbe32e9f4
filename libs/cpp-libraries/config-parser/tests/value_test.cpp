#include "read_json.h"

#include <json/value.h>

#include <gtest/gtest.h>
#include <boost/range/adaptor/reversed.hpp>

#include <map>
#include <string>
#include <vector>

using namespace zel::libs::config;

namespace {

const config::ptr document = read_json(R"({
    "bool": false, "int": -3, "whole": 3.0, "real": 2.5, "string": "7", "null": null,
    "object": {"k": 1}, "array": [1, [2, 3], {"k": "v"}], "huge": 1e10
})");

const value& member(const std::string& _key) {
    return *document->get_root().get_value(_key);
}

// The conversions a node accepts, in declaration order.
std::string accepted(const value& _value) {
    return std::string(_value.as_bool() ? "bool " : "") + (_value.as_int() ? "int " : "") +
           (_value.as_double() ? "double " : "") + (_value.as_string() ? "string " : "") +
           (_value.as_object() ? "object " : "") + (_value.as_array() ? "array " : "");
}

}  // namespace

TEST(value, converts_only_to_its_own_kind) {
    const std::map<std::string, std::string> expected = {
        {"bool", "bool "},     {"int", "int double "}, {"whole", "int double "},
        {"real", "double "},   {"string", "string "},  {"null", ""},
        {"object", "object "}, {"array", "array "},
    };
    for (const auto& [key, kinds] : expected) {
        EXPECT_EQ(accepted(member(key)), kinds) << key;
    }
    EXPECT_EQ(member("bool").as_bool(), false);
    EXPECT_EQ(member("int").as_int(), -3);
    EXPECT_EQ(member("whole").as_int(), 3);
}

TEST(value, integral_number_beyond_int_throws_on_as_int_only) {
    EXPECT_THROW(member("huge").as_int(), Json::LogicError);
    EXPECT_EQ(member("huge").as_double(), 1e10);
}

TEST(value, array_range_walks_nested_arrays_and_objects_both_ways) {
    const value::array elements = *member("array").as_array();
    ASSERT_EQ(boost::size(elements), 3);
    auto element = elements.begin();
    EXPECT_EQ(element->as_int(), 1);
    std::vector<int> inner;
    for (const value& number : boost::adaptors::reverse(*(++element)->as_array())) {
        inner.push_back(*number.as_int());
    }
    EXPECT_EQ(inner, (std::vector<int>{3, 2}));
    EXPECT_EQ((++element)->as_object()->get_value("k")->as_string(), std::string("v"));
    EXPECT_EQ(++element, elements.end());
}
