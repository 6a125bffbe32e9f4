#include "read_json.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace zel::libs::config;

namespace {

// Whether create refuses _stream with the parse-failure prefix and a report.
bool refused(std::istream& _stream) {
    const std::string prefix = "Cannot parse json: ";
    try {
        config::create<type::json>(_stream);
    } catch (const std::runtime_error& _error) {
        const std::string text = _error.what();
        return text.rfind(prefix, 0) == 0 && text.size() > prefix.size();
    }
    return false;
}

bool refused(const std::string& _json) {
    std::istringstream stream(_json);
    return refused(stream);
}

std::string nested_objects(int _depth) {
    std::string json;
    for (int level = 0; level < _depth; ++level) {
        json += R"({"k":)";
    }
    return json + "1" + std::string(_depth, '}');
}

}  // namespace

TEST(config_json_impl, top_level_array_keeps_its_first_element_and_scalar_nothing) {
    const auto array = read_json(R"([{"x": "first"}, {"x": "second", "y": "only here"}])");
    EXPECT_EQ(array->get_root().get_keys(), std::vector<std::string>{""});
    EXPECT_EQ(array->get_by_path<std::string>({"", "x"}).value(), "first");
    EXPECT_FALSE(array->get_by_path<std::string>({"", "y"}).ok());
    EXPECT_TRUE(read_json("42")->get_root().get_keys().empty());
}

TEST(config_json_impl, keys_and_strings_are_bytes) {
    const auto document = read_json("{\"key\": 1, \"Key\": 2, \"a\": 3, \"s\": \"\xff\xfe\x80\"}");
    EXPECT_EQ(document->get_root().get_keys(), (std::vector<std::string>{"Key", "a", "key", "s"}));
    EXPECT_EQ(document->get_by_path<int>({"Key"}).value(), 2);
    EXPECT_EQ(document->get_by_path<std::string>({"s"}).value(), "\xff\xfe\x80");
    // The reader merges repeated members of one object itself, keeping the
    // last; only names that collide while copying keep the first.
    EXPECT_EQ(read_json(R"({"a": 1, "a": 2})")->get_by_path<int>({"a"}).value(), 2);
}

TEST(config_json_impl, refuses_what_is_not_a_document) {
    std::ifstream missing("/nonexistent/config.json");
    EXPECT_TRUE(refused(missing));
    EXPECT_TRUE(refused(R"({"a": })"));
    EXPECT_TRUE(refused(""));
}

TEST(config_json_impl, nesting_is_read_up_to_the_reader_limit_and_refused_beyond) {
    const auto objects = read_json(nested_objects(999));
    boost::optional<const dictionary&> level = objects->get_root();
    for (int depth = 1; depth < 999; ++depth) {
        level = level->get_value("k")->as_object();
    }
    EXPECT_EQ(level->get_value("k")->as_int(), 1);
    const auto arrays = read_json(std::string(1000, '[') + std::string(1000, ']'));
    EXPECT_TRUE(arrays->get_root().get_value("")->as_array());

    EXPECT_TRUE(refused(nested_objects(1000)));
    EXPECT_TRUE(refused(nested_objects(100000)));
    EXPECT_TRUE(refused(std::string(100000, '[') + std::string(100000, ']')));
}

TEST(config_json_impl, large_document_is_read_whole) {
    const int count = 100000;
    std::string json = R"({"items": [)";
    for (int item = 0; item < count; ++item) {
        json += (item ? R"(,{"id": )" : R"({"id": )") + std::to_string(item) + R"(, "name": ")" +
                std::string(80, 'n') + "\"}";
    }
    ASSERT_GT(json.size(), 10u << 20);
    const auto document = read_json(json + "]}");
    const auto items = *document->get_root().get_value("items")->as_array();
    ASSERT_EQ(boost::size(items), count);
    EXPECT_EQ(std::prev(boost::end(items))->as_object()->get_value("id")->as_int(), count - 1);
}

TEST(config_json_impl, members_given_twice_are_named_by_path_and_the_last_counts) {
    const auto document = read_json(R"(/* c */ {"a": {"b": 1, "c": [{"d": 1, "d": 2}],
        "b": 3}, "e": 1, "a": {"b": 4, "b": 5,}, "\u0065": [0, {"f": 0}]})");
    EXPECT_EQ(document->repeated_members(),
              (std::vector<std::string>{"a.c[0].d", "a.b", "a", "a.b", "e"}));
    EXPECT_EQ(document->get_by_path<int>({"a", "b"}).value(), 5);
    EXPECT_TRUE(
        read_json(R"({"a": {"a": 1}, "b": [{"a": 1}, {"a": 1}]})")->repeated_members().empty());
}
