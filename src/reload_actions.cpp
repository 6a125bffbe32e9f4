#include "reload_actions.h"

#include <core/exception_to_string.h>

#include <csignal>

namespace zel {

reload_actions::reload_actions(boost::asio::io_context& _io_context,
                               const libs::core::logger& _logger)
    : m_logger(_logger)
    , m_hangup(_io_context, SIGHUP)
    , m_alive(std::make_shared<reload_actions*>(this)) {
    wait();
}

void reload_actions::add(std::string _name, action _action) {
    m_actions.emplace_back(std::move(_name), std::move(_action));
}

void reload_actions::wait() {
    m_hangup.async_wait([alive = std::weak_ptr<reload_actions*>(m_alive)](
                            const boost::system::error_code& _error, int) {
        const auto actions = alive.lock();
        if (!actions || _error) {
            return;
        }
        (*actions)->wait();
        (*actions)->reload();
    });
}

void reload_actions::reload() {
    if (m_actions.empty()) {
        m_logger.info("SIGHUP: nothing to reload");
        return;
    }
    for (const auto& [name, action] : m_actions) {
        try {
            m_logger.info("SIGHUP: reloading %1%") % name;
            action();
        } catch (...) {
            m_logger.error("SIGHUP: cannot reload %1%, the previous one stays: %2%") % name %
                libs::core::exception_to_string();
        }
    }
}

}  // namespace zel
