#pragma once

#include "history/history.h"
#include "metrics/relay_counters.h"
#include "security/secure_socket.h"

#include <core/curve/zap_handler.h>
#include <core/impl/zmq/connection_monitor.h>
#include <core/logger.h>
#include <azmq/socket.hpp>

#include <boost/asio/io_context.hpp>

#include <memory>
#include <string>
#include <vector>

namespace zel {

// The relay's one job: every frame its input (a bound PULL socket) receives is published
// unchanged on its output (a bound PUB socket), in the order of arrival. Everything runs on the
// thread of the loop that owns _io_context, which alone may use a forwarder.
class forwarder {
public:
    using input_socket = azmq::detail::specialized_socket<ZMQ_PULL>;

    // Binds both sockets, the output first, so that a producer never has its frames taken before
    // a subscriber can be there; a failure throws, naming the endpoint. Each frame is also
    // appended to _history, when there is one, which must outlive the forwarder.
    forwarder(boost::asio::io_context& _io_context, const std::string& _input_address,
              const std::string& _output_address, const libs::core::logger& _logger,
              history* _history = nullptr, const secure_socket& _secure = {});
    forwarder(const forwarder&) = delete;
    forwarder& operator=(const forwarder&) = delete;

    // Arms the first receive; each completion arms the next.
    void start();
    // Closes the producers' connections: what they send from then on waits in their queues for
    // the relay that follows, and what they had delivered is still relayed as the loop runs.
    void unbind_input();
    // Cancels the pending receive: its completion is silent, and no further one is armed.
    void stop();

    // The endpoints as ZeroMQ resolved them (the port a wildcard was given, for instance).
    std::string input_endpoint();
    std::string output_endpoint();
    const relay_counters& counters() const { return m_counters; }

private:
    void watch_peers(boost::asio::io_context& _io_context, azmq::socket& _socket,
                     const secure_socket& _secure,
                     libs::core::connection_monitor::callback _on_connection);
    void setup_pipeline(std::shared_ptr<input_socket> _input);
    void count_received(const azmq::message& _frame);
    void publish(azmq::message&& _frame);
    void publish_with_queued(input_socket& _input, azmq::message&& _frame);

    const libs::core::logger& m_logger;
    history* const m_history;
    relay_counters m_counters;
    azmq::pub_socket m_output;
    // Shared with nobody: the pending receive's handler holds it weakly, so that destroying the
    // forwarder ends the chain.
    std::shared_ptr<input_socket> m_input;
    // Count the peers of each socket, through the socket's watch when it is secured (libzmq gives
    // a socket one monitor); made before the binds, and gone before the sockets.
    std::vector<libs::core::curve::zap_handler::watch::ptr> m_watches;
    std::vector<std::unique_ptr<libs::core::connection_monitor>> m_peers;
};

}  // namespace zel
