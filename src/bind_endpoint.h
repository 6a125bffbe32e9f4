#pragma once

#include <azmq/socket.hpp>

#include <string>

namespace zel {

// Binds _socket to _address; a failure throws one record that names the endpoint, escaped as it
// stands in the configuration, the socket's _side and ZeroMQ's reason.
void bind_endpoint(azmq::socket& _socket, const std::string& _address, const std::string& _side);

}  // namespace zel
