#include "exposure.h"

#include <boost/asio/ip/address.hpp>
#include <boost/system/error_code.hpp>

namespace zel {

bool reachable_from_other_hosts(const std::string& _endpoint) {
    if (_endpoint.rfind("ipc://", 0) == 0 || _endpoint.rfind("inproc://", 0) == 0) {
        return false;
    }
    const std::string scheme = "tcp://";
    const auto port = _endpoint.rfind(':');
    if (_endpoint.rfind(scheme, 0) != 0 || port == std::string::npos || port < scheme.size()) {
        return true;
    }
    std::string host = _endpoint.substr(scheme.size(), port - scheme.size());
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
