#pragma once

#include <core/impl/zmq/handshake_pairing.h>
#include <core/impl/zmq/socket_monitor.h>

#include <azmq/socket.hpp>

#include <boost/asio/io_context.hpp>

namespace zel {
namespace libs {
namespace core {

// Tells, on the loop's thread, when a ZeroMQ socket has a peer, once its connection's handshake
// succeeds (true), and when it loses one (false). Each peer that goes is told once each way, so a
// bound socket's peers can be counted; connections that never complete a handshake are not told.
// Both sockets must be used from the loop's thread only, and _socket must outlive the monitor.
class connection_monitor {
public:
    using callback = handshake_pairing::callback;

    // Throws boost::system::system_error when libzmq refuses to monitor _socket.
    connection_monitor(boost::asio::io_context& _io_context, azmq::socket& _socket,
                       callback _callback);
    connection_monitor(const connection_monitor&) = delete;
    connection_monitor& operator=(const connection_monitor&) = delete;

private:
    handshake_pairing m_pairing;
    // Its destruction stops the monitoring: no call comes after it.
    socket_monitor m_monitor;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
