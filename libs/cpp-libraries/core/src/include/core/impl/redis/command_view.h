#pragma once

#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace zel {
namespace libs {
namespace core {
namespace redis {

// What the client reads in a command's words before sending them: its name for messages, whether
// it serves the command at all, and how long the reply may take. A view: the vectors must outlive
// it.
class command_view {
public:
    command_view(const std::vector<const char*>& _argv, const std::vector<std::size_t>& _argv_len);

    // The command's name with the bytes that are not printable escaped, so that no name can cut or
    // split a log record.
    std::string printable_name() const;

    // Throws exception for an empty command, which the server never answers; for the ones that
    // turn a connection to push mode or to a replication stream (SUBSCRIBE, PSUBSCRIBE,
    // SSUBSCRIBE, MONITOR, SYNC, PSYNC, REPLCONF, in any letter case), after which its messages
    // would no longer answer commands one for one; and for those
    // that change the state of the connection that runs them (SELECT, AUTH, HELLO, RESET, QUIT,
    // MULTI, WATCH, CLIENT REPLY, CLIENT TRACKING), after which a context's two connections
    // would differ.
    void check_served() const;

    // How long the reply may take: _timeout, plus the command's own time-out for the commands that
    // block on the server by design (BLPOP, BRPOP, BRPOPLPUSH, BLMOVE, BLMPOP, BZPOPMIN, BZPOPMAX,
    // BZMPOP, WAIT, and XREAD or XREADGROUP with BLOCK); none when theirs is 0, which waits
    // without limit.
    boost::optional<std::chrono::milliseconds> reply_timeout(
        std::chrono::milliseconds _timeout) const;

private:
    std::size_t size() const { return m_argv.size(); }
    boost::string_view word(std::size_t _index) const;
    // The name's first letter in upper case; '\0' for an empty name.
    char initial() const;
    bool word_is(std::size_t _index, boost::string_view _text) const;
    bool name_is_one_of(std::initializer_list<boost::string_view> _names) const;
    bool takes_over_its_connection() const;
    bool changes_its_connection() const;
    // The index of the word holding the command's own time-out, and the milliseconds in one unit
    // of it; none for a command that does not block by design.
    boost::optional<std::pair<std::size_t, double>> own_timeout() const;

    const std::vector<const char*>& m_argv;
    const std::vector<std::size_t>& m_argv_len;
};

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
