#include <core/redis/reply.h>

#include <gtest/gtest.h>
#include <hiredis/hiredis.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace core = zel::libs::core;
namespace redis = zel::libs::core::redis;

namespace {

static_assert(std::is_copy_constructible<redis::reply_element>::value, "a view copies");
static_assert(!std::is_copy_constructible<redis::reply>::value, "an owner does not copy");
static_assert(!std::is_copy_assignable<redis::reply>::value, "an owner does not copy");
static_assert(std::is_nothrow_move_constructible<redis::reply>::value, "an owner moves");
static_assert(std::is_nothrow_move_assignable<redis::reply>::value, "an owner moves");

// Builds a real record the way a connection would, from protocol text.
redis::reply parse(const std::string& _resp) {
    redisReader* reader = redisReaderCreate();
    void* record = nullptr;
    const bool read = redisReaderFeed(reader, _resp.data(), _resp.size()) == REDIS_OK &&
                      redisReaderGetReply(reader, &record) == REDIS_OK;
    const std::string error = reader->errstr;
    redisReaderFree(reader);
    if (!read || record == nullptr) {
        throw std::runtime_error("hiredis did not read '" + _resp + "': " + error);
    }
    return redis::reply(static_cast<redisReply*>(record));
}

std::string failure_of(const std::function<void()>& _call) {
    try {
        _call();
    } catch (const core::exception& e) {
        return e.get_string_error();
    }
    return "no exception";
}

// The value as decimal text, or the refusal, so that both share one column.
template <typename Convert>
std::string outcome_of(Convert _convert) {
    try {
        return std::to_string(_convert());
    } catch (const core::exception& e) {
        return "throws: " + e.get_string_error();
    }
}

TEST(redis_reply_type, names_each_type_and_refuses_other_values) {
    const std::vector<std::pair<redis::reply_type, std::string>> names = {
        {redis::reply_type::STRING, "string"},   {redis::reply_type::ARRAY, "array"},
        {redis::reply_type::INTEGER, "integer"}, {redis::reply_type::NIL, "nil"},
        {redis::reply_type::STATUS, "status"},   {redis::reply_type::ERROR, "error"}};
    for (const auto& name : names) {
        EXPECT_EQ(redis::to_string(name.first), name.second);
    }
    for (const int value : {0, 7, -1}) {
        EXPECT_EQ(failure_of([value] { redis::to_string(static_cast<redis::reply_type>(value)); }),
                  "Unknown enumeration value")
            << value;
    }
}

struct accessor_case {
    std::string resp;
    redis::reply_type type;
    std::string type_name;
    boost::optional<std::string> text;
};

TEST(redis_reply, accessors_follow_the_record_type) {
    const std::vector<accessor_case> cases = {
        {"+OK\r\n", redis::reply_type::STATUS, "status", std::string("OK")},
        {"-ERR bad\r\n", redis::reply_type::ERROR, "error", std::string("ERR bad")},
        {":42\r\n", redis::reply_type::INTEGER, "integer", boost::none},
        {"$-1\r\n", redis::reply_type::NIL, "nil", boost::none},
        {"*-1\r\n", redis::reply_type::NIL, "nil", boost::none},
        {std::string("$3\r\na\0b\r\n", 9), redis::reply_type::STRING, "string",
         std::string("a\0b", 3)},
        {"$0\r\n\r\n", redis::reply_type::STRING, "string", std::string()},
        {"*2\r\n$1\r\na\r\n:1\r\n", redis::reply_type::ARRAY, "array", boost::none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.resp);
        const redis::reply reply = parse(c.resp);
        EXPECT_EQ(reply.get_type(), c.type);
        const auto view = reply.try_string_view();
        ASSERT_EQ(view.has_value(), c.text.has_value());
        const std::string not_string = "Reply is not string, actual type: " + c.type_name;
        if (c.text) {
            EXPECT_EQ(std::string(*view), *c.text);
            EXPECT_EQ(std::string(reply.as_string_view()), *c.text);
            EXPECT_EQ(reply.to_string(), *c.text);
        } else {
            EXPECT_EQ(failure_of([&] { reply.as_string_view(); }), not_string);
            EXPECT_EQ(failure_of([&] { reply.to_string(); }), not_string);
        }
        if (c.type == redis::reply_type::ARRAY) {
            EXPECT_EQ(reply.as_array().size(), 2u);
        } else {
            EXPECT_EQ(failure_of([&] { reply.as_array(); }),
                      "Reply is not array, actual type: " + c.type_name);
        }
    }
}

struct number_case {
    std::string resp;
    std::string long_long;
    std::string integer;
};

TEST(redis_reply, converts_integers_and_whole_decimal_texts_only) {
    const std::string not_text = "throws: Reply is not integer, actual text: ";
    const std::string not_type = "throws: Reply is not integer, actual type: ";
    const std::string out_of_range = "throws: Reply is out of int range: ";
    const std::vector<number_case> cases = {
        {":42\r\n", "42", "42"},
        {":-9223372036854775808\r\n", "-9223372036854775808",
         out_of_range + "-9223372036854775808"},
        {"$3\r\n123\r\n", "123", "123"},
        {"+-7\r\n", "-7", "-7"},
        {"$19\r\n9223372036854775807\r\n", "9223372036854775807",
         out_of_range + "9223372036854775807"},
        {"$10\r\n2147483647\r\n", "2147483647", "2147483647"},
        {"$11\r\n-2147483648\r\n", "-2147483648", "-2147483648"},
        {"$10\r\n2147483648\r\n", "2147483648", out_of_range + "2147483648"},
        {":-2147483649\r\n", "-2147483649", out_of_range + "-2147483649"},
        {":4294967296\r\n", "4294967296", out_of_range + "4294967296"},
        {"$3\r\n12x\r\n", not_text + "12x", not_text + "12x"},
        {"$0\r\n\r\n", not_text, not_text},
        {"+ 1\r\n", not_text + " 1", not_text + " 1"},
        {"$2\r\n1 \r\n", not_text + "1 ", not_text + "1 "},
        {"$2\r\n+1\r\n", not_text + "+1", not_text + "+1"},
        {"$1\r\n-\r\n", not_text + "-", not_text + "-"},
        {"$3\r\n0x1\r\n", not_text + "0x1", not_text + "0x1"},
        {std::string("$2\r\n1\0\r\n", 8), not_text + std::string("1\0", 2),
         not_text + std::string("1\0", 2)},
        {"$19\r\n9223372036854775808\r\n", not_text + "9223372036854775808",
         not_text + "9223372036854775808"},
        {"$-1\r\n", not_type + "nil", not_type + "nil"},
        {"-1\r\n", not_type + "error", not_type + "error"},
        {"*1\r\n:1\r\n", not_type + "array", not_type + "array"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.resp);
        const redis::reply reply = parse(c.resp);
        EXPECT_EQ(outcome_of([&] { return reply.to_long_long(); }), c.long_long);
        EXPECT_EQ(outcome_of([&] { return reply.to_int(); }), c.integer);
    }
}

TEST(redis_reply_array, indexes_elements_including_nested_arrays) {
    const redis::reply reply = parse("*3\r\n$1\r\na\r\n:1\r\n*1\r\n+x\r\n");
    const redis::reply_array array = reply.as_array();
    ASSERT_EQ(array.size(), 3u);
    EXPECT_EQ(array[0].to_string(), "a");
    EXPECT_EQ(array[1].to_long_long(), 1);
    const redis::reply_array nested = array[2].as_array();
    ASSERT_EQ(nested.size(), 1u);
    EXPECT_EQ(nested[0].get_type(), redis::reply_type::STATUS);
    EXPECT_EQ(nested[0].to_string(), "x");
}

TEST(redis_reply_array, an_index_at_or_past_the_size_throws) {
    // hiredis leaves the element pointer null for an empty array.
    for (const std::string resp : {"*2\r\n:1\r\n:2\r\n", "*0\r\n"}) {
        SCOPED_TRACE(resp);
        const redis::reply reply = parse(resp);
        const redis::reply_array array = reply.as_array();
        EXPECT_EQ(failure_of([&] { array[array.size()]; }), "Index out of range");
        EXPECT_EQ(failure_of([&] { array[array.size() + 1]; }), "Index out of range");
    }
}

TEST(redis_reply_array, for_each_element_visits_in_order_until_the_callback_refuses) {
    const redis::reply reply = parse("*3\r\n:1\r\n:2\r\n:3\r\n");
    const redis::reply_array array = reply.as_array();
    std::vector<long long> visited;
    EXPECT_EQ(array.for_each_element([&](const redis::reply_element& _element) {
        visited.push_back(_element.to_long_long());
        return true;
    }),
              core::iteration_result::finished);
    EXPECT_EQ(visited, (std::vector<long long>{1, 2, 3}));

    visited.clear();
    EXPECT_EQ(array.for_each_element([&](const redis::reply_element& _element) {
        visited.push_back(_element.to_long_long());
        return false;
    }),
              core::iteration_result::interrupted);
    EXPECT_EQ(visited, (std::vector<long long>{1}));
}

TEST(redis_reply, a_moved_reply_still_reads_its_record) {
    redis::reply source = parse("$5\r\nhello\r\n");
    redis::reply moved(std::move(source));
    EXPECT_EQ(moved.to_string(), "hello");

    // The target's own record must be freed, which the leak checker verifies.
    redis::reply target = parse(":1\r\n");
    target = std::move(moved);
    EXPECT_EQ(target.get_type(), redis::reply_type::STRING);
    EXPECT_EQ(target.to_string(), "hello");

    const redis::reply_element view = target;
    EXPECT_EQ(view.to_string(), "hello");
}

struct location_case {
    std::function<void()> call;
    std::string file;
    std::string function;
};

TEST(redis_reply, each_throw_carries_the_header_function_the_caller_called) {
    const redis::reply nil = parse("$-1\r\n");
    const redis::reply big = parse(":4294967296\r\n");
    const redis::reply empty = parse("*0\r\n");
    const std::string element = "zel::libs::core::redis::reply_element::";
    const std::vector<location_case> cases = {
        {[] { redis::to_string(redis::reply_type::_count); }, "core/redis/reply_type.h",
         "boost::string_view zel::libs::core::redis::to_string(reply_type)"},
        {[&] { nil.as_string_view(); }, "core/redis/reply.h",
         "boost::string_view " + element + "as_string_view() const"},
        {[&] { nil.to_string(); }, "core/redis/reply.h",
         "std::string " + element + "to_string() const"},
        {[&] { nil.to_long_long(); }, "core/redis/reply.h",
         "long long int " + element + "to_long_long() const"},
        {[&] { nil.to_int(); }, "core/redis/reply.h", "int " + element + "to_int() const"},
        {[&] { big.to_int(); }, "core/redis/reply.h", "int " + element + "to_int() const"},
        {[&] { nil.as_array(); }, "core/redis/reply.h",
         "zel::libs::core::redis::reply_array " + element + "as_array() const"},
        {[&] { empty.as_array()[0]; }, "core/redis/reply.h",
         "zel::libs::core::redis::reply_element "
         "zel::libs::core::redis::reply_array::operator[](std::size_t) const"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.function);
        try {
            c.call();
            ADD_FAILURE() << "no exception";
        } catch (const core::exception& e) {
            EXPECT_TRUE(e.get_source_location().file().ends_with("/include/" + c.file))
                << e.get_source_location().file();
            EXPECT_EQ(e.get_source_location().function(), c.function);
        }
    }
}

TEST(redis_reply, a_null_record_is_refused) {
    EXPECT_EQ(failure_of([] { redis::reply(nullptr); }), "Reply is null");
}

}  // namespace
