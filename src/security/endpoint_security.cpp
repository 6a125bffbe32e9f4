#include "security/endpoint_security.h"

#include <core/curve/key_pair.h>

#include <utility>

namespace zel {

endpoint_security::endpoint_security(libs::core::events_loop& _loop,
                                     const libs::core::logger& _logger,
                                     const std::optional<config::curve_settings>& _settings)
    : m_logger(_logger) {
    if (!_settings) {
        return;
    }
    const auto& secret_key_file = _settings->secret_key_file;
    auto keys = libs::core::curve::key_pair::read(secret_key_file);
    const auto permissions = libs::core::curve::key_pair::loose_permissions(secret_key_file);
    if (!permissions.empty()) {
        m_logger.warning(
            "Key file %1% is readable by group or others (mode %2%): a secret key "
            "should be its owner's alone (chmod 600)") %
            secret_key_file % permissions;
    }
    m_handler = libs::core::curve::zap_handler::create(_loop, _logger, std::move(keys),
                                                       _settings->clients_directory);
    m_logger.info("CURVE on every endpoint, key %1%, clients of %2%") % secret_key_file %
        _settings->clients_directory;
}

libs::core::curve::zap_handler::watch::ptr endpoint_security::secure(
    azmq::socket& _socket, libs::core::curve::zap_handler::connection_callback _on_connection) {
    return m_handler ? m_handler->secure(_socket.native_handle(), std::move(_on_connection))
                     : nullptr;
}

void endpoint_security::reload() {
    if (m_handler) {
        m_handler->reload();
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
    return text +
           "# HELP vandrel_reload_failures_total Reloads of the client keys that left out a key "
           "file or could not list the clients directory.\n"
           "# TYPE vandrel_reload_failures_total counter\n"
           "vandrel_reload_failures_total " +
           std::to_string(m_handler->reloaded().failed) + "\n";
}

std::string endpoint_security::status() const {
    return m_handler ? "refused " + m_handler->refused().status() : std::string();
}

}  // namespace zel
