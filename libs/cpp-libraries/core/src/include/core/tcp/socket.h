#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/utility/string_view.hpp>

#include <cstddef>
#include <functional>
#include <memory>

namespace zel {
namespace libs {
namespace core {
namespace tcp {

// Bytes to send, not owned.
using message = boost::string_view;

// A connected TCP socket of an events loop. Received bytes reach the receive callback as the
// stream delivers them, on the loop's thread; sends never block.
class socket {
public:
    // _data points into a buffer that the loop's sockets share and is valid only during the call.
    using receive_callback = std::function<void(boost::string_view _data)>;
    // The peer closed the connection, in order or by a reset; receiving has stopped.
    using close_callback = std::function<void()>;
    using can_send_callback = std::function<void()>;
    using endpoint = boost::asio::ip::tcp::endpoint;
    using ptr = std::unique_ptr<socket>;

    virtual ~socket() = default;

    virtual void set_close_callback(close_callback _callback) = 0;
    // The first call starts receiving; later ones replace the callback, also from inside it.
    // An empty callback is refused with an exception and changes nothing.
    virtual void set_receive_callback(receive_callback _callback) = 0;
    // The peer's address, also once the connection has ended (in the close callback).
    virtual endpoint get_remote_endpoint() const = 0;
    virtual void set_can_send_callback(can_send_callback _callback) = 0;
    // The can-send callback is called once when the kernel can take more data; requests made
    // before then come to one call.
    virtual void notify_that_send_is_possible() = 0;
    // Sends what the kernel takes now and returns its size: 0 when it takes nothing. Failures
    // (a reset or closed connection) throw boost::system::system_error.
    virtual std::size_t send_some(message _message) = 0;
};

}  // namespace tcp
}  // namespace core
}  // namespace libs
}  // namespace zel
