#include <core/redis/reply.h>

#include <hiredis/hiredis.h>

#include <charconv>
#include <system_error>

namespace zel {
namespace libs {
namespace core {
namespace redis {

static_assert(static_cast<int>(reply_type::STRING) == REDIS_REPLY_STRING, "hiredis type number");
static_assert(static_cast<int>(reply_type::ARRAY) == REDIS_REPLY_ARRAY, "hiredis type number");
static_assert(static_cast<int>(reply_type::INTEGER) == REDIS_REPLY_INTEGER, "hiredis type number");
static_assert(static_cast<int>(reply_type::NIL) == REDIS_REPLY_NIL, "hiredis type number");
static_assert(static_cast<int>(reply_type::STATUS) == REDIS_REPLY_STATUS, "hiredis type number");
static_assert(static_cast<int>(reply_type::ERROR) == REDIS_REPLY_ERROR, "hiredis type number");

reply_element::~reply_element() = default;

reply_type reply_element::get_type() const {
    return static_cast<reply_type>(m_reply.get().type);
}

boost::optional<boost::string_view> reply_element::try_string_view() const {
    switch (get_type()) {
        case reply_type::STRING:
        case reply_type::STATUS:
        case reply_type::ERROR:
            return boost::string_view(m_reply.get().str, m_reply.get().len);
        default:
            return boost::none;
    }
}

boost::optional<long long> reply_element::try_long_long() const {
    const reply_type type = get_type();
    if (type == reply_type::INTEGER) {
        return m_reply.get().integer;
    }
    // An error reply's text is a message, even when it happens to be digits.
    if (type != reply_type::STRING && type != reply_type::STATUS) {
        return boost::none;
    }
    // from_chars ignores the locale, refuses spaces and '+', and reports
    // overflow instead of wrapping; the whole text must be consumed.
    const boost::string_view text = as_string_view();
    const char* const end = text.data() + text.size();
    long long value = 0;
    const auto parsed = std::from_chars(text.data(), end, value);
    if (parsed.ec != std::errc() || parsed.ptr != end) {
        return boost::none;
    }
    return value;
}

std::string reply_element::not_integer_message() const {
    const reply_type type = get_type();
    if (type == reply_type::STRING || type == reply_type::STATUS) {
        return "Reply is not integer, actual text: " + std::string(as_string_view());
    }
    return "Reply is not integer, actual type: " + std::string(redis::to_string(type));
}

reply_array reply_element::elements() const {
    return reply_array(m_reply.get().element, m_reply.get().elements);
}

iteration_result reply_array::for_each_element(const callback& _callback) const {
    for (std::size_t index = 0; index < m_size; ++index) {
        if (!_callback(reply_element(*m_data[index]))) {
            return iteration_result::interrupted;
        }
    }
    return iteration_result::finished;
}

void reply_deleter::operator()(redisReply* _reply) const {
    freeReplyObject(_reply);
}

reply::~reply() = default;

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
