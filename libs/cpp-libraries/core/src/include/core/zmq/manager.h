#pragma once

#include <core/zmq/socket.h>
#include <core/zmq/socket_options.h>

#include <memory>
#include <string>

namespace zel {
namespace libs {
namespace core {
namespace zmq {

// Makes the ZeroMQ sockets of one events loop. Failures to bind or connect throw the
// library's exception, naming the address and ZeroMQ's reason.
//
// A connecting socket queues frames only for peers it is connected to (ZeroMQ's immediate
// mode): a PUSH or REQ socket with no peer yet makes try_send() return false and send() wait
// for one, and nothing offered meanwhile is delivered later to a peer that comes; a PUB socket
// drops such frames as it drops frames nobody subscribed to. Sockets that bind queue for every
// peer that has connected, as ZeroMQ does.
class manager {
public:
    using ptr = std::unique_ptr<manager>;

    virtual ~manager() = default;

    // ZeroMQ connects lazily: nobody needs to listen at _address yet.
    virtual socket::ptr connect(socket::type _type, std::string _address) = 0;
    virtual socket::ptr bind(socket::type _type, std::string _address) = 0;

    // The same, with what the socket may be made to hold.
    virtual socket::ptr connect(socket::type _type, std::string _address,
                                const socket_options& _options) = 0;
    virtual socket::ptr bind(socket::type _type, std::string _address,
                             const socket_options& _options) = 0;
};

}  // namespace zmq
}  // namespace core
}  // namespace libs
}  // namespace zel
