#pragma once

#include <core/exception.h>
#include <core/iteration_result.h>
#include <core/redis/reply_type.h>

#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include <climits>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

// hiredis's record, known here by name only: what reads its fields is compiled
// in the library, so that a user of replies does not compile hiredis's header.
struct redisReply;

namespace zel {
namespace libs {
namespace core {
namespace redis {

class reply_array;

// A read-only view of one hiredis reply record, top-level or nested. It owns
// nothing: the record must outlive the view.
class reply_element {
public:
    explicit reply_element(const redisReply& _reply) : m_reply(_reply) {}
    virtual ~reply_element();

    reply_element(const reply_element&) = default;
    reply_element(reply_element&&) = default;
    reply_element& operator=(const reply_element&) = default;
    reply_element& operator=(reply_element&&) = default;

    reply_type get_type() const;

    // The text of a string, status or error reply; none for the other types.
    // The text may hold zero bytes.
    boost::optional<boost::string_view> try_string_view() const;
    boost::string_view as_string_view() const;
    std::string to_string() const;

    // An integer reply, or a string or status reply whose whole text is a
    // decimal number, since Redis answers many numeric queries with bulk text.
    long long to_long_long() const;
    int to_int() const;

    reply_array as_array() const;

private:
    boost::optional<long long> try_long_long() const;
    // Why try_long_long() found no number: the type, or the text when the type
    // could have carried one.
    std::string not_integer_message() const;
    // The elements of an array record.
    reply_array elements() const;

    std::reference_wrapper<const redisReply> m_reply;
};

// A view of the elements of an array reply; it owns neither the pointer array
// nor the records.
class reply_array {
public:
    // Returning false stops the walk.
    using callback = std::function<bool(const reply_element&)>;

    reply_array(redisReply** _data, std::size_t _size) : m_data(_data), m_size(_size) {}

    std::size_t size() const { return m_size; }
    reply_element operator[](std::size_t _index) const;
    iteration_result for_each_element(const callback& _callback) const;

private:
    redisReply** m_data;
    std::size_t m_size;
};

// Frees a top-level record with everything nested in it. Nested records belong
// to their parent and must never reach it.
struct reply_deleter {
    void operator()(redisReply* _reply) const;
};

// A top-level reply record together with its ownership. The record lives on
// the heap, so the defaulted moves leave the base view pointing at it; a
// moved-from reply may only be destroyed or assigned to.
class reply : public reply_element {
public:
    explicit reply(redisReply* _reply) : reply_element(non_null(_reply)), m_reply(_reply) {}
    ~reply() override;

    reply(const reply&) = delete;
    reply& operator=(const reply&) = delete;
    reply(reply&&) noexcept = default;
    reply& operator=(reply&&) noexcept = default;

private:
    // The base view binds a reference before the record is owned, so the
    // pointer is checked first.
    static const redisReply& non_null(const redisReply* _reply) {
        if (_reply == nullptr) {
            throw exception("Reply is null", ZEL_LOCATION);
        }
        return *_reply;
    }

    std::unique_ptr<redisReply, reply_deleter> m_reply;
};

inline boost::string_view reply_element::as_string_view() const {
    if (const auto text = try_string_view()) {
        return *text;
    }
    throw exception(
        "Reply is not string, actual type: " + std::string(redis::to_string(get_type())),
        ZEL_LOCATION);
}

inline std::string reply_element::to_string() const {
    if (const auto text = try_string_view()) {
        return std::string(*text);
    }
    throw exception(
        "Reply is not string, actual type: " + std::string(redis::to_string(get_type())),
        ZEL_LOCATION);
}

inline long long reply_element::to_long_long() const {
    if (const auto value = try_long_long()) {
        return *value;
    }
    throw exception(not_integer_message(), ZEL_LOCATION);
}

inline int reply_element::to_int() const {
    const auto value = try_long_long();
    if (!value) {
        throw exception(not_integer_message(), ZEL_LOCATION);
    }
    if (*value < INT_MIN || *value > INT_MAX) {
        throw exception("Reply is out of int range: " + std::to_string(*value), ZEL_LOCATION);
    }
    return static_cast<int>(*value);
}

inline reply_array reply_element::as_array() const {
    if (get_type() != reply_type::ARRAY) {
        throw exception(
            "Reply is not array, actual type: " + std::string(redis::to_string(get_type())),
            ZEL_LOCATION);
    }
    return elements();
}

inline reply_element reply_array::operator[](std::size_t _index) const {
    if (_index >= m_size) {
        throw exception("Index out of range", ZEL_LOCATION);
    }
    return reply_element(*m_data[_index]);
}

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
