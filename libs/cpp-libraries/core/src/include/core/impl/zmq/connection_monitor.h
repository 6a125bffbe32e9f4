#pragma once

#include <core/impl/zmq/socket_monitor.h>

#include <azmq/socket.hpp>

#include <boost/asio/io_context.hpp>

#include <functional>

namespace zel {
namespace libs {
namespace core {

// Tells, on the loop's thread, when a ZeroMQ socket makes or accepts a connection (true) and when
// it loses one (false). Each accepted connection that ends is told once each way, so a bound
// socket's peers can be counted. Both sockets must be used from the loop's thread only, and
// _socket must outlive the monitor.
class connection_monitor {
public:
    using callback = std::function<void(bool _connected)>;

    // Throws boost::system::system_error when libzmq refuses to monitor _socket.
    connection_monitor(boost::asio::io_context& _io_context, azmq::socket& _socket,
                       callback _callback);
    connection_monitor(const connection_monitor&) = delete;
    connection_monitor& operator=(const connection_monitor&) = delete;

private:
    // Its destruction stops the monitoring: no call comes after it.
    socket_monitor m_monitor;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
