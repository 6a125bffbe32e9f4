#pragma once

#include <optional>
#include <string>

namespace zel {
namespace libs {
namespace core {

struct host_and_port {
    std::string host;
    std::string port;
};

// The host and the port of an address written "HOST:PORT" or "SCHEME://HOST:PORT", an IPv6 host
// without its brackets ("[::1]:80" gives "::1"); none when there is no port to split off. Neither
// part is checked further.
std::optional<host_and_port> split_host_and_port(const std::string& _address);

}  // namespace core
}  // namespace libs
}  // namespace zel
