#pragma once

#include <core/zmq/socket.h>

#include <memory>
#include <string>

namespace zel {
namespace libs {
namespace core {
namespace zmq {

// Makes the ZeroMQ sockets of one events loop. Failures to bind or connect throw the
// library's exception, naming the address and ZeroMQ's reason.
class manager {
public:
    using ptr = std::unique_ptr<manager>;

    virtual ~manager() = default;

    // ZeroMQ connects lazily: nobody needs to listen at _address yet.
    virtual socket::ptr connect(socket::type _type, std::string _address) = 0;
    virtual socket::ptr bind(socket::type _type, std::string _address) = 0;
};

}  // namespace zmq
}  // namespace core
}  // namespace libs
}  // namespace zel
