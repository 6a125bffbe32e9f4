#pragma once

#include <azmq/socket.hpp>

#include <boost/asio/io_context.hpp>
#include <boost/utility/string_view.hpp>

#include <cstdint>
#include <functional>
#include <memory>

namespace zel {
namespace libs {
namespace core {

// Tells, on the loop's thread, the events of a ZeroMQ socket that _events selects, through
// libzmq's socket monitor: a PAIR socket that receives them over inproc. Destroying it ends the
// monitoring and the calls. The monitored socket must outlive it: libzmq blocks the socket's
// every event, and with it the socket, once its monitor has no reader.
class socket_monitor {
public:
    // _endpoint is the socket's own: libzmq names the endpoint a bound socket listens on, not the
    // peer's address.
    using callback = std::function<void(std::uint16_t _event, std::uint32_t _value,
                                        boost::string_view _endpoint)>;

    // Throws boost::system::system_error when libzmq refuses to monitor _socket.
    socket_monitor(boost::asio::io_context& _io_context, void* _socket, int _events,
                   callback _callback);
    ~socket_monitor();

    socket_monitor(const socket_monitor&) = delete;
    socket_monitor& operator=(const socket_monitor&) = delete;

private:
    // What the receives hold: gone with the monitor, so that a receive completed afterwards
    // calls nothing.
    struct state {
        azmq::socket events;
        callback on_event;
    };

    static void receive_next(const std::shared_ptr<state>& _state);

    void* const m_socket;
    std::shared_ptr<state> m_state;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
