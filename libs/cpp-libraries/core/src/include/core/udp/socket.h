#pragma once

#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/utility/string_view.hpp>

#include <functional>
#include <memory>

namespace zel {
namespace libs {
namespace core {
namespace udp {

using endpoint = boost::asio::ip::udp::endpoint;
// The bytes of one datagram, not owned.
using message = boost::string_view;

// A bound UDP socket of an events loop. Received datagrams reach the callback one at a time,
// in arrival order, on the loop's thread, with their sender and the local IPv4 address they
// arrived on (0.0.0.0 when they came over IPv6).
class socket {
public:
    // _data is valid only during the call.
    using callback = std::function<void(const endpoint& _sender,
                                        const boost::asio::ip::address_v4& _local_address,
                                        const boost::string_view& _data)>;
    using ptr = std::unique_ptr<socket>;

    virtual ~socket() = default;

    // The first call starts receiving; later ones replace the callback, also from inside it.
    // An empty callback is refused with an exception and changes nothing.
    virtual void set_receive_callback(callback _callback) = 0;

    // One datagram, sent at once; failures throw boost::system::system_error ("send_to: ...").
    virtual void send_to(const endpoint& _destination, const message& _message) = 0;
    virtual void send_to(const boost::string_view& _address, int _port,
                         const message& _message) = 0;

    // _address is a literal IPv4 or IPv6 address, never resolved; _port keeps its low 16 bits.
    virtual endpoint make_endpoint(const boost::string_view& _address, int _port) const = 0;

    // Where the socket is bound, with the port the system chose for port 0.
    virtual endpoint local_endpoint() const = 0;
};

}  // namespace udp
}  // namespace core
}  // namespace libs
}  // namespace zel
