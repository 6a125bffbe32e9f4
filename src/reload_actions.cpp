#include "reload_actions.h"

#include <core/exception_to_string.h>

#include <csignal>

namespace zel {

reload_actions::reload_actions(boost::asio::io_context& _io_context,
                               const libs::core::logger& _logger)
    : m_logger(_logger), m_hangup(_io_context, SIGHUP) {
    wait();
}

void reload_actions::add(std::string _name, action _action) {
    m_actions.emplace_back(std::move(_name), std::move(_action));
}

void reload_actions::wait() {
    // The object outlives every wait: its destruction cancels the pending one, whose completion
    // then runs in the loop's drain with operation_aborted and touches nothing.
    m_hangup.async_wait([this](const boost::system::error_code& _error, int) {
        if (_error) {
            return;
        }
        wait();
        reload();
    });
}

void reload_actions::reload() {
    if (m_actions.empty()) {
        m_logger.info("SIGHUP: nothing to reload");
        return;
    }
    for (const auto& [name, action] : m_actions) {
        try {
            action();
            m_logger.info("SIGHUP: reloaded %1%") % name;
        } catch (...) {
            m_logger.error("SIGHUP: cannot reload %1%, the previous one stays: %2%") % name %
                libs::core::exception_to_string();
        }
    }
}

}  // namespace zel
