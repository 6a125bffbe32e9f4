#pragma once

#include <azmq/socket.hpp>

#include <boost/asio/io_context.hpp>

#include <functional>
#include <memory>

namespace zel {
namespace libs {
namespace core {

// Tells, on the loop's thread, when a ZeroMQ socket makes or accepts a connection (true) and when
// it loses one (false), through libzmq's socket monitor: a PAIR socket that receives the
// monitored socket's events over inproc. Each accepted connection that ends is told once each
// way, so a bound socket's peers can be counted. Both sockets must be used from the loop's thread
// only.
class connection_monitor {
public:
    using callback = std::function<void(bool _connected)>;

    // Throws boost::system::system_error when libzmq refuses to monitor _socket.
    connection_monitor(boost::asio::io_context& _io_context, azmq::socket& _socket,
                       callback _callback);
    // Stops the monitoring: no call comes after it.
    ~connection_monitor();

    connection_monitor(const connection_monitor&) = delete;
    connection_monitor& operator=(const connection_monitor&) = delete;

private:
    // What the receives hold: gone with the monitor, so that a receive completed afterwards
    // calls nothing.
    struct state {
        azmq::socket events;
        callback on_change;
    };

    static void receive_next(const std::shared_ptr<state>& _state);

    azmq::socket& m_socket;
    std::shared_ptr<state> m_state;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
