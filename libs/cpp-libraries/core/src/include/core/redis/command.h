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
    // Blocks until the reply; an error reply, or a broken connection, throws exception
    // ("Command: " + name + ", error: " + text).
    virtual reply execute() = 0;
    // The reply reaches the handle's callback on the context's loop; an error reply is
    // delivered as a reply of type ERROR, and a connection lost before the reply as NIL.
    // Restarting the handle sends the command again. Throws exception when the connection
    // is gone.
    virtual handle execute_async() = 0;
};

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
