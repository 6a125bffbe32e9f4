#pragma once

#include "relay_counters.h"

#include <core/curve/zap_handler.h>
#include <core/logger.h>
#include <azmq/socket.hpp>

#include <boost/asio/io_context.hpp>

#include <functional>
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
    // Prepares a socket before it binds (as a CURVE server, say); what it returns, if anything,
    // goes with the socket.
    using secure_socket =
        std::function<libs::core::curve::zap_handler::watch::ptr(azmq::socket& _socket)>;

    // Binds both sockets, the output first, so that a producer never has its frames taken before
    // a subscriber can be there; a failure throws, naming the endpoint.
    forwarder(boost::asio::io_context& _io_context, const std::string& _input_address,
              const std::string& _output_address, const libs::core::logger& _logger,
              const secure_socket& _secure = {});
    forwarder(const forwarder&) = delete;
    forwarder& operator=(const forwarder&) = delete;

    // Arms the first receive; each completion arms the next.
    void start();
    // Cancels the pending receive: its completion is silent, and no further one is armed.
    void stop();

    // The endpoints as ZeroMQ resolved them (the port a wildcard was given, for instance).
    std::string input_endpoint();
    std::string output_endpoint();
    const relay_counters& counters() const { return m_counters; }

private:
    void setup_pipeline(std::shared_ptr<input_socket> _input);
    void publish(azmq::message&& _frame);
    void publish_with_queued(input_socket& _input, azmq::message&& _frame);

    const libs::core::logger& m_logger;
    relay_counters m_counters;
    azmq::pub_socket m_output;
    // Shared with nobody: the pending receive's handler holds it weakly, so that destroying the
    // forwarder ends the chain.
    std::shared_ptr<input_socket> m_input;
    // They go before the sockets they watch.
    std::vector<libs::core::curve::zap_handler::watch::ptr> m_watches;
};

}  // namespace zel
