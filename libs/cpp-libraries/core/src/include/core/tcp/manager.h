#pragma once

#include <core/ip_protocol.h>
#include <core/tcp/acceptor.h>
#include <core/tcp/socket.h>

#include <boost/utility/string_view.hpp>

#include <memory>

namespace zel {
namespace libs {
namespace core {
namespace tcp {

// Opens the TCP listeners and connections of one events loop. Addresses are literal IPv4 or
// IPv6 addresses, never resolved; ports keep their low 16 bits. Failures throw
// boost::system::system_error.
class manager {
public:
    using ptr = std::unique_ptr<manager>;

    virtual ~manager() = default;

    // Blocks the calling thread until the connection is made or fails.
    virtual socket::ptr connect(boost::string_view _address, int _port) = 0;
    // On the any-address of _protocol.
    virtual acceptor::ptr listen(ip_protocol _protocol, int _port) = 0;
    virtual acceptor::ptr listen(boost::string_view _address, int _port) = 0;
};

}  // namespace tcp
}  // namespace core
}  // namespace libs
}  // namespace zel
