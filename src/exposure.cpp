#include "exposure.h"

#include <boost/asio/ip/address.hpp>
#include <boost/system/error_code.hpp>

namespace zel {

bool reachable_from_other_hosts(const std::string& _endpoint) {
    const auto scheme_end = _endpoint.find("://");
    const auto scheme = _endpoint.substr(0, scheme_end);
    if (scheme == "ipc" || scheme == "inproc") {
        return false;
    }
    const auto host_start = scheme_end == std::string::npos ? 0 : scheme_end + 3;
    const auto port = _endpoint.rfind(':');
    if (port == std::string::npos || port < host_start) {
        return true;
    }
    std::string host = _endpoint.substr(host_start, port - host_start);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    boost::system::error_code error;
    const auto address = boost::asio::ip::make_address(host, error);
    return error || !address.is_loopback();
}

void warn_if_exposed(const libs::core::logger& _logger, const std::string& _side,
                     const std::string& _endpoint, const std::string& _what) {
    if (reachable_from_other_hosts(_endpoint)) {
        _logger.warning(
            "The %1% %2% is not on loopback: anyone who reaches it can %3%. Restrict it with a "
            "firewall or the unit's IPAddressAllow=, or bind it to 127.0.0.1") %
            _side % _endpoint % _what;
    }
}

}  // namespace zel
