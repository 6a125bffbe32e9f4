#pragma once

#include <core/async_operation_handle.h>
#include <core/redis/reply.h>

#include <memory>
#include <string>

namespace zel {
namespace libs {
namespace core {
namespace redis {

// One command of a context, built word by word and then run, blocking or
// asynchronously, as often as wanted. It must not outlive its context.
class command {
public:
    using ptr = std::unique_ptr<command>;
    using handle = async_operation_handle<reply>::ptr;

    virtual ~command() = default;

    // Any bytes, zero bytes included. Returns the command, so that calls chain.
    virtual command& add_argument(std::string _arg) = 0;
    // Blocks until the reply; an error reply, a broken connection or a reply past its
    // time-out throws exception ("Command: " + name + ", error: " + text, where bytes of
    // the name or text that are not printable are escaped). After a time-out the
    // connection is closed, as its state is unknown, and later commands throw as on a
    // broken connection.
    virtual reply execute() = 0;
    // The reply reaches the handle's callback on the context's loop; an error reply is
    // delivered as a reply of type ERROR. A reply that never comes is an ERROR too, never
    // NIL: its text says why ("connection lost: " + the cause, "timed out", "reply too
    // large", "connection closed" when the context went). Once the oldest pending command
    // is past its time-out, the connection is dropped and every pending command completes
    // that way, exactly once: "timed out" for those past their own deadline, "dropped with
    // the connection after an older command timed out" for the others; after a reply too
    // large, the commands behind it read "dropped with the connection after an older
    // command's reply was too large". Restarting the handle sends the command again.
    // Dropping the handle discards the reply (the command is sent all the same). Throws
    // exception when the connection is gone, saying why ("connection closed after a
    // time-out", "connection closed after a reply too large", ...), and for a command the
    // context does not serve.
    virtual handle execute_async() = 0;
};

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
