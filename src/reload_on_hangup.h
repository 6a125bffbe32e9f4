#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

#include <functional>

namespace zel {

// Runs an action on the loop's thread each time the process receives SIGHUP, for as long as it
// lives; a SIGHUP that comes while the action runs runs it once more after.
class reload_on_hangup {
public:
    reload_on_hangup(boost::asio::io_context& _io_context, std::function<void()> _action);

private:
    void wait();

    boost::asio::signal_set m_signals;
    std::function<void()> m_action;
};

}  // namespace zel
