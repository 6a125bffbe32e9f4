#pragma once

#include "config.h"
#include "forwarder.h"
#include "history/history.h"
#include "history/history_server.h"
#include "memory_release.h"
#include "metrics/metrics_server.h"
#include "reload_actions.h"
#include "security/endpoint_security.h"
#include "security/secure_socket.h"

#include <core/events_loop.h>
#include <core/logger.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace zel {

// The relay's pieces wired together as its configuration asks: the forwarder, its history and
// the history's endpoint, the keys that secure every endpoint and what SIGHUP reloads, the
// counters served to a scraper, and memory given back after bursts. Everything is bound when the
// constructor returns, which throws, naming what failed, when anything cannot start. Made and
// used on the thread of _loop, which must outlive it.
class relay {
public:
    relay(libs::core::events_loop& _loop, const config& _config, const std::string& _file_name,
          const libs::core::logger& _logger);
    relay(const relay&) = delete;
    relay& operator=(const relay&) = delete;

    // What it has relayed, its peers and those it refused, in one line: for the service
    // manager's status and the totals record.
    std::string status() const;
    // Once the loop has stopped: relays what producers had sent, and serves history readers
    // until they have read it all or a deadline of a few seconds has passed, running the loop
    // again meanwhile.
    void stop();

private:
    std::unique_ptr<history_server> serve_history(libs::core::events_loop& _loop,
                                                  const config& _config);
    void serve_metrics(libs::core::events_loop& _loop, const std::string& _address);
    void warn_of_exposure();
    // Runs the loop until no frame has come for a moment, or _deadline.
    void relay_until_quiet(std::chrono::steady_clock::time_point _deadline);
    void finish_history();

    const libs::core::logger& m_logger;
    boost::asio::io_context& m_io_context;
    // Made before the sockets it secures and what SIGHUP reloads, and destroyed after them.
    endpoint_security m_security;
    const secure_socket m_secure;
    reload_actions m_reload;
    std::unique_ptr<history> m_history;
    std::unique_ptr<history_server> m_history_server;
    forwarder m_forwarder;
    std::optional<metrics_server> m_metrics;
    const memory_release m_memory;
};

}  // namespace zel
