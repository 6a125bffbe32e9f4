#include "security/exposure.h"

#include <core/host_and_port.h>

#include <boost/asio/ip/address.hpp>
#include <boost/system/error_code.hpp>

namespace zel {

bool reachable_from_other_hosts(const std::string& _endpoint) {
    const auto scheme = _endpoint.substr(0, _endpoint.find("://"));
    if (scheme == "ipc" || scheme == "inproc") {
        return false;
    }
    const auto parts = libs::core::split_host_and_port(_endpoint);
    boost::system::error_code error;
    const auto address = boost::asio::ip::make_address(parts ? parts->host : "", error);
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
