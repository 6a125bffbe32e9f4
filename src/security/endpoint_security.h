#pragma once

#include "config.h"

#include <core/curve/zap_handler.h>
#include <core/events_loop.h>
#include <core/logger.h>

#include <azmq/socket.hpp>

#include <optional>
#include <string>

namespace zel {

// The relay's keys: with CURVE settings, every endpoint it secures is a CURVE server that admits
// exactly the clients of the settings' directory; without, it secures nothing and the endpoints
// take plain text. Used on the loop's thread only; it must outlive the sockets it secured.
class endpoint_security {
public:
    // Throws exception naming the key file or directory that cannot be read; a secret key file
    // others may read is logged as a warning.
    endpoint_security(libs::core::events_loop& _loop, const libs::core::logger& _logger,
                      const std::optional<config::curve_settings>& _settings);

    // Call it before _socket binds; what it returns must go before the socket. Without CURVE it
    // returns nothing, and _on_connection is not called.
    libs::core::curve::zap_handler::watch::ptr secure(
        azmq::socket& _socket, libs::core::curve::zap_handler::connection_callback _on_connection);
    // Reads the clients directory again, off the loop, as zap_handler::reload tells.
    void reload();
    // The refused peers by reason, for the status line; empty without CURVE.
    std::string status() const;
    // The same in the Prometheus text format; empty without CURVE.
    std::string metrics() const;

private:
    const libs::core::logger& m_logger;
    libs::core::curve::zap_handler::ptr m_handler;
};

}  // namespace zel
