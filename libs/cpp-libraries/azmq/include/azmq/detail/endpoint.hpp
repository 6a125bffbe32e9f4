#pragma once

#include <azmq/error.hpp>

#include <boost/system/error_code.hpp>

#include <cerrno>
#include <string>

namespace azmq {
namespace detail {

// The address of a TCP endpoint ("tcp://address"), or nullptr for other transports.
inline const char* tcp_address(const std::string& _endpoint) {
    static constexpr char scheme[] = "tcp://";
    return _endpoint.compare(0, sizeof scheme - 1, scheme) == 0
               ? _endpoint.c_str() + sizeof scheme - 1
               : nullptr;
}

// EINVAL for text that libzmq would quietly read as another endpoint: it stops at the first
// NUL byte, and it cuts a TCP port to 16 bits ("99999" binds 34463, "-1" binds 65535).
inline boost::system::error_code check_endpoint(const std::string& _endpoint) {
    if (_endpoint.find('\0') != std::string::npos) {
        return make_error_code(EINVAL);
    }
    const char* address = tcp_address(_endpoint);
    if (address == nullptr) {
        return {};
    }
    const std::string text(address);
    const std::string port = text.substr(text.rfind(':') + 1);
    if (port == "*") {
        return {};
    }
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos || std::stoul(port) > 65535) {
        return make_error_code(EINVAL);
    }
    return {};
}

// Whether a TCP endpoint names its host by an IPv6 literal ("[::1]:5555"), which libzmq
// resolves only on a socket with ZMQ_IPV6 on. The option stays off otherwise: with it, a
// name such as "localhost" may resolve to ::1 alone and no longer reach IPv4 peers.
inline bool is_ipv6_tcp_endpoint(const std::string& _endpoint) {
    const char* address = tcp_address(_endpoint);
    if (address == nullptr) {
        return false;
    }
    const std::string text(address);
    const std::size_t port = text.rfind(':');
    return port != std::string::npos && text.find(':') < port;
}

}  // namespace detail
}  // namespace azmq
