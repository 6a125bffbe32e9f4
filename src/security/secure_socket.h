#pragma once

#include <core/curve/zap_handler.h>
#include <azmq/socket.hpp>

#include <functional>

namespace zel {

// Prepares one of the relay's sockets before it binds (as a CURVE server, say); what it returns,
// if anything, must go before the socket, and tells _on_connection, when set, of the socket's
// connections. An empty one leaves the socket as it is.
using secure_socket = std::function<libs::core::curve::zap_handler::watch::ptr(
    azmq::socket& _socket, libs::core::curve::zap_handler::connection_callback _on_connection)>;

}  // namespace zel
