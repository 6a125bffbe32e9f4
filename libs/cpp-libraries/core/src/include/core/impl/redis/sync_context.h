#pragma once

#include <core/component_logger.h>
#include <core/events_loop.h>
#include <core/impl/redis/command_view.h>
#include <core/impl/redis/reply_bound.h>
#include <core/redis/context.h>
#include <core/redis/reply.h>

#include <hiredis/hiredis.h>
#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace zel {
namespace libs {
namespace core {
namespace redis {

// The blocking connection of a Redis context: each command waits for its reply
// on the calling thread, for its time-out at most (see context).
class sync_context {
public:
    // Connects (for context::connect_timeout at most) and selects _db within
    // the default reply time-out; throws exception when either fails.
    sync_context(events_loop& _events_loop, const component_logger& _logger, boost::string_view _ip,
                 int _port, int _db);

    sync_context(const sync_context&) = delete;
    sync_context& operator=(const sync_context&) = delete;

    // Each argument is _argv_len[i] bytes at _argv[i], any bytes. Throws
    // exception on an error reply, for a command the client does not serve,
    // and when the connection breaks or the reply is late: then the
    // connection is closed and every later command throws too.
    reply run_command(std::vector<const char*>& _argv, std::vector<std::size_t>& _argv_len);

    void set_reply_timeout(std::chrono::milliseconds _timeout) { m_timeout = _timeout; }
    // For the replies that start from now on.
    void set_max_reply_memory(std::size_t _bytes) { m_bound.set_limit(_bytes); }

private:
    struct context_deleter {
        void operator()(redisContext* _context) const { redisFree(_context); }
    };
    using clock = std::chrono::steady_clock;

    // run_command once the command is known to be served.
    reply run_served_command(std::vector<const char*>& _argv, std::vector<std::size_t>& _argv_len);
    // Sends the command and reads its reply by _deadline (none: no limit).
    redisReply* exchange(std::vector<const char*>& _argv, std::vector<std::size_t>& _argv_len,
                         const command_view& _command,
                         const boost::optional<clock::time_point>& _deadline);
    // Throws "Command: " + name + ", error: " + _error, and closes the connection
    // for good when _closed_because is not empty: later commands fail with it.
    [[noreturn]] void fail(const command_view& _command, boost::string_view _error,
                           std::string _closed_because);

    [[maybe_unused]] events_loop& m_events_loop;
    [[maybe_unused]] const component_logger& m_logger;
    std::unique_ptr<redisContext, context_deleter> m_context_ptr;
    reply_bound m_bound{context::default_max_reply_memory};
    std::chrono::milliseconds m_timeout;
    // Why the connection was closed; empty while it is open.
    std::string m_closed_because;
};

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
