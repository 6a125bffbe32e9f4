#include "reload_on_hangup.h"

#include <csignal>
#include <utility>

namespace zel {

reload_on_hangup::reload_on_hangup(boost::asio::io_context& _io_context,
                                   std::function<void()> _action)
    : m_signals(_io_context, SIGHUP), m_action(std::move(_action)) {
    wait();
}

void reload_on_hangup::wait() {
    m_signals.async_wait([this](const boost::system::error_code& _error, int) {
        if (_error) {
            return;
        }
        // Armed first: an action that throws leaves the loop, which the relay runs again.
        wait();
        m_action();
    });
}

}  // namespace zel
