#include "security/endpoint_security.h"

#include <core/curve/key_pair.h>
#include <core/exception.h>

#include <utility>

namespace zel {

endpoint_security::endpoint_security(libs::core::events_loop& _loop,
                                     const libs::core::logger& _logger,
                                     const std::optional<config::curve_settings>& _settings)
    : m_logger(_logger) {
    if (!_settings) {
        return;
    }
    m_clients_directory = _settings->clients_directory;
    m_handler = libs::core::curve::zap_handler::create(
        _loop, _logger, libs::core::curve::key_pair::read(_settings->secret_key_file),
        m_clients_directory);
    m_logger.info("CURVE on every endpoint, key %1%, clients of %2%") % _settings->secret_key_file %
        m_clients_directory;
}

libs::core::curve::zap_handler::watch::ptr endpoint_security::secure(
    azmq::socket& _socket, libs::core::curve::zap_handler::connection_callback _on_connection) {
    return m_handler ? m_handler->secure(_socket.native_handle(), std::move(_on_connection))
                     : nullptr;
}

void endpoint_security::reload() {
    if (!m_handler) {
        return;
    }
    try {
        const auto keys = m_handler->reload();
        m_logger.info("%1% client keys in %2%") % keys % m_clients_directory;
    } catch (const libs::core::exception& _error) {
        m_logger.error("The client keys stay as they were: %1%") % _error.get_string_error();
    }
}

std::string endpoint_security::metrics() const {
    if (!m_handler) {
        return {};
    }
    const auto& refused = m_handler->refused();
    std::string text =
        "# HELP vandrel_peers_refused_total Peers the CURVE allow-list refused, by reason.\n"
        "# TYPE vandrel_peers_refused_total counter\n";
    for (const auto& [reason, count] :
         {std::pair{"plaintext", refused.plaintext}, std::pair{"unknown_key", refused.unknown_key},
          std::pair{"failed_handshake", refused.failed_handshake}}) {
        text += std::string("vandrel_peers_refused_total{reason=\"") + reason + "\"} " +
                std::to_string(count) + "\n";
    }
    return text;
}

std::string endpoint_security::status() const {
    return m_handler ? "refused " + m_handler->refused().status() : std::string();
}

}  // namespace zel
