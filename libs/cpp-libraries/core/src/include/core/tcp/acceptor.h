#pragma once

#include <core/tcp/socket.h>

#include <functional>
#include <memory>

namespace zel {
namespace libs {
namespace core {
namespace tcp {

// A listening TCP socket of an events loop, handing each accepted connection to its callback
// on the loop's thread.
class acceptor {
public:
    using callback = std::function<void(socket::ptr _connection)>;
    using ptr = std::unique_ptr<acceptor>;

    virtual ~acceptor() = default;

    // The first call starts accepting; later ones replace the callback, also from inside it.
    // An empty callback is refused with an exception and changes nothing.
    virtual void set_callback(callback _callback) = 0;

    // Where it listens, with the port the system chose for port 0.
    virtual socket::endpoint local_endpoint() const = 0;
};

}  // namespace tcp
}  // namespace core
}  // namespace libs
}  // namespace zel
