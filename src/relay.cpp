#include "relay.h"

#include "security/exposure.h"

#include <core/constants.h>

#include <algorithm>
#include <chrono>
#include <utility>

namespace zel {

namespace {

// At stop, what producers sent before it is relayed while they are still connected, until the
// input has been quiet for stop_quiet (loopback and LAN delivery take far less) or, under
// unending load, stop_connected_time has passed; then their connections close, and what those
// had read is relayed, again until the input is quiet.
constexpr std::chrono::milliseconds stop_quiet(20);
constexpr std::chrono::milliseconds stop_connected_time(250);
constexpr std::chrono::milliseconds stop_unbound_time(1000);
// How long a stop then waits for history readers to catch up: long enough for a reader that
// keeps up to read a window's worth a few times over, short enough for a restart to go unnoticed.
constexpr std::chrono::seconds history_finish_time(2);

}  // namespace

relay::relay(libs::core::events_loop& _loop, const config& _config, const std::string& _file_name,
             const libs::core::logger& _logger)
    : m_logger(_logger)
    , m_io_context(_loop.get_io_context())
    , m_security(_loop, _logger, _config.system.curve)
    , m_secure([this](azmq::socket& _socket, auto _on_connection) {
        return m_security.secure(_socket, std::move(_on_connection));
    })
    , m_reload(_loop.get_io_context(), _logger)
    , m_history_server(serve_history(_loop, _config))
    , m_forwarder(_loop.get_io_context(), _config.system.input_address,
                  _config.system.output_address, _logger, m_history.get(), m_secure)
    , m_memory(_loop, m_forwarder.counters()) {
    if (_config.system.curve) {
        m_reload.add("the client keys", [this] { m_security.reload(); });
    }
    m_forwarder.start();
    m_logger.info("vandrel %1%, configuration %2%, input %3%, output %4%") %
        libs::core::constants::git_version % _file_name % m_forwarder.input_endpoint() %
        m_forwarder.output_endpoint();
    if (m_history_server) {
        m_history_server->start();
        m_logger.info("history %1%, %2% bytes, relay start %3%") % m_history_server->endpoint() %
            _config.system.history_bytes % m_history_server->identity();
    }
    // With keys, only the clients of the allow-list reach the records.
    if (!_config.system.curve) {
        warn_of_exposure();
    }
    if (!_config.system.metrics_address.empty()) {
        serve_metrics(_loop, _config.system.metrics_address);
    }
}

std::string relay::status() const {
    const auto refused = m_security.status();
    return m_forwarder.counters().status() + (refused.empty() ? "" : "; " + refused);
}

// The loop runs again for the stop, in its usual order: a frame it had taken before the signal
// goes out before those that follow.
void relay::stop() {
    m_io_context.restart();
    relay_until_quiet(std::chrono::steady_clock::now() + stop_connected_time);
    m_forwarder.unbind_input();
    relay_until_quiet(std::chrono::steady_clock::now() + stop_unbound_time);
    m_forwarder.stop();
    if (m_history_server) {
        finish_history();
    }
}

void relay::relay_until_quiet(std::chrono::steady_clock::time_point _deadline) {
    auto received = m_forwarder.counters().frames_received;
    auto until = std::min(std::chrono::steady_clock::now() + stop_quiet, _deadline);
    while (std::chrono::steady_clock::now() < until && m_io_context.run_one_until(until) != 0) {
        if (m_forwarder.counters().frames_received != received) {
            received = m_forwarder.counters().frames_received;
            until = std::min(std::chrono::steady_clock::now() + stop_quiet, _deadline);
        }
    }
}

// A reader that does not keep up is let go at the deadline, told what it lacks.
void relay::finish_history() {
    const auto deadline = std::chrono::steady_clock::now() + history_finish_time;
    m_history_server->finish();
    while (!m_history_server->finished() && m_io_context.run_one_until(deadline) != 0) {
    }
    m_history_server->stop();
}

std::unique_ptr<history_server> relay::serve_history(libs::core::events_loop& _loop,
                                                     const config& _config) {
    if (_config.system.history_address.empty()) {
        return nullptr;
    }
    m_history = std::make_unique<history>(_config.system.history_bytes);
    return std::make_unique<history_server>(_loop.get_io_context(), *m_history,
                                            _config.system.history_address, m_logger, m_secure);
}

void relay::serve_metrics(libs::core::events_loop& _loop, const std::string& _address) {
    m_metrics.emplace(
        _loop.get_io_context(), _address,
        [this] { return m_forwarder.counters().metrics() + m_security.metrics(); }, m_logger);
    m_logger.info("metrics at %1%/metrics") % m_metrics->endpoint();
    zel::warn_if_exposed(m_logger, "metrics endpoint", m_metrics->endpoint(),
                         "read the relay's counters");
}

void relay::warn_of_exposure() {
    zel::warn_if_exposed(m_logger, "input", m_forwarder.input_endpoint(),
                         "send records to every subscriber");
    zel::warn_if_exposed(m_logger, "output", m_forwarder.output_endpoint(), "read every record");
    if (m_history_server) {
        zel::warn_if_exposed(m_logger, "history", m_history_server->endpoint(),
                             "read every record");
    }
}

}  // namespace zel
