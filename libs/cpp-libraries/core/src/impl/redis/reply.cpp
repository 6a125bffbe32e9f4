#include <core/redis/reply.h>

#include <charconv>
#include <system_error>

namespace zel {
namespace libs {
namespace core {
namespace redis {

reply_element::~reply_element() = default;

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

iteration_result reply_array::for_each_element(const callback& _callback) const {
    for (std::size_t index = 0; index < m_size; ++index) {
        if (!_callback(reply_element(*m_data[index]))) {
            return iteration_result::interrupted;
        }
    }
    return iteration_result::finished;
}

reply::~reply() = default;

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
