#pragma once

#include <core/iteration_result.h>
#include <core/redis/command.h>

#include <boost/utility/string_view.hpp>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zel {
namespace libs {
namespace core {
namespace redis {

// One Redis server and database, over a blocking and a non-blocking
// connection. Each typed operation builds its command unexecuted; the caller
// may add arguments, then executes it. Meant for the thread of the loop that
// created the context.
//
// Publish/subscribe, MONITOR and replication are not served: SUBSCRIBE,
// PSUBSCRIBE, SSUBSCRIBE, MONITOR, SYNC, PSYNC and REPLCONF, after which the
// connection no longer answers commands one for one, are refused with
// exception before anything is sent, and so is an empty command; the context
// stays usable. So are the commands that change the state of the one
// connection that runs them, after which the two would differ (one database,
// user, protocol and reply mode per context): SELECT, AUTH, HELLO, RESET,
// QUIT, MULTI, WATCH, CLIENT REPLY and CLIENT TRACKING.
//
// Every wait for the server ends. Connecting waits at most connect_timeout;
// a reply, the reply time-out (default_reply_timeout unless set), to which
// the commands that block on the server by design (BLPOP, BRPOP, BRPOPLPUSH,
// BLMOVE, BLMPOP, BZPOPMIN, BZPOPMAX, BZMPOP, WAIT, and XREAD or XREADGROUP
// with BLOCK) add their own, waiting without limit when theirs is 0. Both
// connections keep TCP keep-alive on. A reply that never came is an error,
// never nil: see command.
//
// What a server can make the client hold: one reply costs at most its
// context's reply memory bound (default_max_reply_memory unless set), counted
// as the reply is read, before hiredis makes each part: 72 bytes per element
// (its record and its slot in its array, counted as soon as an array
// announces its elements), each string's length as received and again as
// copied, and the most bytes of the reply buffered at once. A reply past it is
// refused as soon as it announces so, before anything is reserved for it: the
// command fails with "reply too large", the connection is dropped, and the
// commands pending behind it fail with "dropped with the connection after an
// older command's reply was too large". A string of length n needs a bound of
// about 2n; an array of n integers, 72n. Each of a context's two connections
// reads one reply at a time. hiredis's reading buffer grows by reallocation,
// and in a fragmented heap the allocator may keep about as much again as a
// long string's bytes while it does: one reply then takes up to about 1.5
// times the bound.
class context {
public:
    using args = std::vector<std::string>;
    // Returns false to stop a scan.
    using callback = std::function<bool(boost::string_view)>;

    static constexpr std::chrono::milliseconds connect_timeout{1500};
    // As most Redis clients have it.
    static constexpr std::chrono::milliseconds default_reply_timeout{5000};
    // Strings of nearly 16 MiB, arrays of about 466,000 elements.
    static constexpr std::size_t default_max_reply_memory = std::size_t(32) << 20;

    virtual ~context() = default;

    virtual command::ptr get(std::string _key) = 0;
    virtual command::ptr set(std::string _key, std::string _value) = 0;
    virtual command::ptr del(std::string _key) = 0;
    // Members are added with add_argument.
    virtual command::ptr add_to_set(std::string _key) = 0;
    virtual command::ptr add_to_set(std::string _key, std::string _value) = 0;
    virtual command::ptr remove_from_set(std::string _key, std::string _value) = 0;
    virtual command::ptr get_set_members(std::string _key) = 0;
    virtual command::ptr get_table(std::string _table) = 0;
    virtual command::ptr get_from_table(std::string _table, std::string _field) = 0;
    // Fields are added with add_argument.
    virtual command::ptr get_from_table_multi(std::string _table) = 0;
    virtual command::ptr set_to_table(std::string _table, std::string _field,
                                      std::string _value) = 0;
    // Field and value pairs are added with add_argument.
    virtual command::ptr set_to_table_multi(std::string _table) = 0;
    virtual command::ptr increment_in_table(std::string _table, std::string _field,
                                            std::string _value) = 0;
    virtual command::ptr delete_from_table(std::string _table, std::string _field) = 0;

    // Visits, blocking, every key matching _pattern until _callback returns
    // false; the view is valid only during the call.
    virtual iteration_result scan(boost::string_view _pattern, callback _callback) = 0;

    virtual command::ptr create_command(args _args) = 0;

    // The reply time-out of the commands run on this context from now on,
    // on both connections. Throws exception unless it is positive.
    virtual void set_reply_timeout(std::chrono::milliseconds _timeout) = 0;
    // The memory one reply may cost, for the replies that start from now on,
    // on both connections. Throws exception for 0.
    virtual void set_max_reply_memory(std::size_t _bytes) = 0;
};

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
