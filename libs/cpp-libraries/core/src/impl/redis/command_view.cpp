#include <core/impl/redis/command_view.h>

#include <core/append_escaped.h>
#include <core/exception.h>
#include <core/impl/text/equal_ignoring_case.h>

#include <charconv>
#include <cmath>
#include <initializer_list>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace redis {

namespace {

char to_upper(char _c) {
    return _c >= 'a' && _c <= 'z' ? char(_c - 'a' + 'A') : _c;
}

// Beyond this a command's own time-out is as good as none: it waits without limit rather than
// overflow.
constexpr double longest_timeout_ms = 1e12;

}  // namespace

command_view::command_view(const std::vector<const char*>& _argv,
                           const std::vector<std::size_t>& _argv_len)
    : m_argv(_argv), m_argv_len(_argv_len) {}

std::string command_view::printable_name() const {
    std::string name;
    if (size() != 0) {
        append_escaped(name, word(0));
    }
    return name;
}

void command_view::check_served() const {
    if (size() == 0) {
        throw exception("Command: , error: empty command", ZEL_LOCATION);
    }
    if (takes_over_its_connection()) {
        throw exception("Command: " + printable_name() +
                            ", error: not served: publish/subscribe, MONITOR and replication "
                            "need a connection of their own",
                        ZEL_LOCATION);
    }
    if (changes_its_connection()) {
        throw exception("Command: " + printable_name() +
                            ", error: not served: it would change one of the context's two "
                            "connections alone",
                        ZEL_LOCATION);
    }
}

bool command_view::takes_over_its_connection() const {
    // Every command passes here: most are told apart by their first letter alone.
    switch (initial()) {
        case 'M':
            return word_is(0, "MONITOR");
        case 'P':
            return name_is_one_of({"PSUBSCRIBE", "PSYNC"});
        case 'R':
            return word_is(0, "REPLCONF");
        case 'S':
            return name_is_one_of({"SUBSCRIBE", "SSUBSCRIBE", "SYNC"});
        default:
            return false;
    }
}

bool command_view::changes_its_connection() const {
    // Every command passes here: most are told apart by their first letter alone.
    switch (initial()) {
        case 'A':
            return word_is(0, "AUTH");
        case 'C':
            return size() >= 2 && word_is(0, "CLIENT") &&
                   (word_is(1, "REPLY") || word_is(1, "TRACKING"));
        case 'H':
            return word_is(0, "HELLO");
        case 'M':
            return word_is(0, "MULTI");
        case 'Q':
            return word_is(0, "QUIT");
        case 'R':
            return word_is(0, "RESET");
        case 'S':
            return word_is(0, "SELECT");
        case 'W':
            return word_is(0, "WATCH");
        default:
            return false;
    }
}

boost::optional<std::chrono::milliseconds> command_view::reply_timeout(
    std::chrono::milliseconds _timeout) const {
    const auto own = own_timeout();
    if (!own) {
        return _timeout;
    }
    const boost::string_view text = word(own->first);
    double value = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    // The server refuses a time-out it cannot read, and answers at once.
    if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size() || !(value >= 0)) {
        return _timeout;
    }
    const double own_ms = std::ceil(value * own->second);
    if (own_ms == 0 || own_ms > longest_timeout_ms) {
        return boost::none;
    }
    return _timeout + std::chrono::milliseconds(static_cast<long long>(own_ms));
}

boost::string_view command_view::word(std::size_t _index) const {
    return boost::string_view(m_argv[_index], m_argv_len[_index]);
}

char command_view::initial() const {
    return size() != 0 && m_argv_len[0] != 0 ? to_upper(m_argv[0][0]) : '\0';
}

bool command_view::word_is(std::size_t _index, boost::string_view _text) const {
    return equal_ignoring_case(word(_index), _text);
}

bool command_view::name_is_one_of(std::initializer_list<boost::string_view> _names) const {
    for (const auto name : _names) {
        if (word_is(0, name)) {
            return true;
        }
    }
    return false;
}

boost::optional<std::pair<std::size_t, double>> command_view::own_timeout() const {
    constexpr double seconds = 1000;
    constexpr double milliseconds = 1;
    if (size() < 2) {
        return boost::none;
    }
    const std::size_t last = size() - 1;
    // Every command passes here: most are told apart by their first letter alone.
    switch (initial()) {
        case 'B':
            if (name_is_one_of(
                    {"BLPOP", "BRPOP", "BRPOPLPUSH", "BLMOVE", "BZPOPMIN", "BZPOPMAX"})) {
                return std::make_pair(last, seconds);
            }
            if (name_is_one_of({"BLMPOP", "BZMPOP"})) {
                return std::make_pair(std::size_t(1), seconds);
            }
            break;
        case 'W':
            if (word_is(0, "WAIT")) {
                return std::make_pair(last, milliseconds);
            }
            break;
        case 'X':
            if (name_is_one_of({"XREAD", "XREADGROUP"})) {
                // Options come before STREAMS; the keys after it may have any name, BLOCK included.
                for (std::size_t i = 1; i < last && !word_is(i, "STREAMS"); ++i) {
                    if (word_is(i, "BLOCK")) {
                        return std::make_pair(i + 1, milliseconds);
                    }
                    if (word_is(i, "GROUP")) {
                        i += 2;
                    } else if (word_is(i, "COUNT")) {
                        ++i;
                    }
                }
            }
            break;
        default:
            break;
    }
    return boost::none;
}

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
