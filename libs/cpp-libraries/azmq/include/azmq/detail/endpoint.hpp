#pragma once

#include <azmq/error.hpp>

#include <boost/system/error_code.hpp>

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>

namespace azmq {
namespace detail {

// The address of a TCP endpoint ("tcp://address"); nothing for other transports.
inline std::optional<std::string_view> tcp_address(const std::string& _endpoint) {
    constexpr std::string_view scheme = "tcp://";
    if (_endpoint.compare(0, scheme.size(), scheme) != 0) {
        return std::nullopt;
    }
    return std::string_view(_endpoint).substr(scheme.size());
}

// EINVAL for text that libzmq would quietly read as another endpoint: it stops at the first
// NUL byte, and it cuts a TCP port to 16 bits ("99999" binds 34463, "-1" binds 65535).
inline boost::system::error_code check_endpoint(const std::string& _endpoint) {
    if (_endpoint.find('\0') != std::string::npos) {
        return make_error_code(EINVAL);
    }
    const auto address = tcp_address(_endpoint);
    if (!address) {
        return {};
    }
    const std::string_view port = address->substr(address->rfind(':') + 1);
    if (port == "*") {
        return {};
    }
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string_view::npos ||
        std::stoul(std::string(port)) > 65535) {
        return make_error_code(EINVAL);
    }
    return {};
}

// Whether a TCP endpoint names its host by an IPv6 literal ("[::1]:5555"), which libzmq
// resolves only on a socket with ZMQ_IPV6 on. The option stays off otherwise: with it, a
// name such as "localhost" may resolve to ::1 alone and no longer reach IPv4 peers.
inline bool is_ipv6_tcp_endpoint(const std::string& _endpoint) {
    const auto address = tcp_address(_endpoint);
    if (!address) {
        return false;
    }
    const std::size_t port = address->rfind(':');
    return port != std::string_view::npos && address->find(':') < port;
}

}  // namespace detail
}  // namespace azmq
