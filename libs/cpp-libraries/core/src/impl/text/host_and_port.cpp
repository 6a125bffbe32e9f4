#include <core/host_and_port.h>

namespace zel {
namespace libs {
namespace core {

std::optional<host_and_port> split_host_and_port(const std::string& _address) {
    const auto scheme_end = _address.find("://");
    const auto host_start = scheme_end == std::string::npos ? 0 : scheme_end + 3;
    const auto colon = _address.rfind(':');
    if (colon == std::string::npos || colon < host_start) {
        return std::nullopt;
    }
    std::string host = _address.substr(host_start, colon - host_start);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    return host_and_port{host, _address.substr(colon + 1)};
}

}  // namespace core
}  // namespace libs
}  // namespace zel
