#pragma once

#include <core/logger.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace zel {

// Serves GET /metrics over HTTP/1.1, the text a scraper reads (the Prometheus text format), on
// the thread of the loop that owns _io_context, which alone may use this object. The text is made
// when a request asks for it, so serving costs the loop nothing between scrapes.
//
// Anyone who reaches the port may connect, so what a client can make it hold is bounded: at most
// max_connections at once (a further one closes the oldest), a request of at most
// max_request_bytes with no body, and each connection ends after connection_timeout however far
// it has come. One request per connection: the response closes it.
class metrics_server {
public:
    using text_callback = std::function<std::string()>;

    static constexpr std::size_t max_connections = 16;
    static constexpr std::size_t max_request_bytes = 8 * 1024;
    static constexpr std::chrono::seconds connection_timeout{5};

    // Binds _address, "HOST:PORT" (an IPv6 address in brackets; a name is resolved once, here);
    // a failure throws an exception naming the address.
    metrics_server(boost::asio::io_context& _io_context, const std::string& _address,
                   text_callback _text, const libs::core::logger& _logger);
    // Closes the port and every connection: no callback runs afterwards.
    ~metrics_server();
    metrics_server(const metrics_server&) = delete;
    metrics_server& operator=(const metrics_server&) = delete;

    // As bound (the port the system chose for port 0): http://HOST:PORT.
    std::string endpoint() const;

private:
    struct shared_state;
    class connection;

    void accept();

    boost::asio::ip::tcp::acceptor m_acceptor;
    boost::asio::steady_timer m_retry;
    std::shared_ptr<shared_state> m_state;
};

}  // namespace zel
