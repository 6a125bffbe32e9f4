#pragma once

#include <core/component_logger.h>
#include <core/events_loop.h>
#include <core/redis/reply.h>

#include <hiredis/hiredis.h>
#include <boost/utility/string_view.hpp>

#include <cstddef>
#include <memory>
#include <vector>

namespace zel {
namespace libs {
namespace core {
namespace redis {

// The blocking connection of a Redis context: each command waits for its reply
// on the calling thread.
class sync_context {
public:
    // Connects (for 1.5 seconds at most) and selects _db; throws exception when
    // either fails.
    sync_context(events_loop& _events_loop, const component_logger& _logger, boost::string_view _ip,
                 int _port, int _db);

    sync_context(const sync_context&) = delete;
    sync_context& operator=(const sync_context&) = delete;

    // Each argument is _argv_len[i] bytes at _argv[i], any bytes. Throws
    // exception on an error reply, and when the connection is broken: then for
    // every later command too, without touching the connection again.
    reply run_command(std::vector<const char*>& _argv, std::vector<std::size_t>& _argv_len);

private:
    struct context_deleter {
        void operator()(redisContext* _context) const { redisFree(_context); }
    };

    [[maybe_unused]] events_loop& m_events_loop;
    [[maybe_unused]] const component_logger& m_logger;
    std::unique_ptr<redisContext, context_deleter> m_context_ptr;
};

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
