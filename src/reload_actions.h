#pragma once

#include <core/logger.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zel {

// What the relay reloads on SIGHUP, the reload signal of a service: each piece that has something
// to reload adds an action. The signal is logged and never stops the relay; an action that throws
// is logged by its name and the others still run. An action may only start its work, which then
// logs what it reloaded. Everything runs on the thread of the loop that owns _io_context, which
// alone may use this object; it must be destroyed before that loop.
class reload_actions {
public:
    using action = std::function<void()>;

    // From here on, SIGHUP no longer ends the process.
    reload_actions(boost::asio::io_context& _io_context, const libs::core::logger& _logger);
    reload_actions(const reload_actions&) = delete;
    reload_actions& operator=(const reload_actions&) = delete;

    // _name says what _action reloads, in the records ("the allow-list").
    void add(std::string _name, action _action);

private:
    void wait();
    void reload();

    const libs::core::logger& m_logger;
    boost::asio::signal_set m_hangup;
    std::vector<std::pair<std::string, action>> m_actions;
    // What a signal's completion holds weakly: one already queued when this object goes, as the
    // loop drains at its end, must touch nothing.
    std::shared_ptr<reload_actions*> m_alive;
};

}  // namespace zel
