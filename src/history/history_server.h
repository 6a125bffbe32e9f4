#pragma once

#include "history/history.h"
#include "history/history_client.h"
#include "history/history_request.h"
#include "security/secure_socket.h"

#include <core/logger.h>
#include <azmq/socket.hpp>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace zel {

// Serves a history to its readers on a bound ROUTER socket (history_protocol.h tells the
// protocol). Each reader is served from its own position: a turn sends it what the socket takes
// without blocking, so nothing is queued for it beyond ZeroMQ's high-water mark (1,000 messages);
// a reader the socket refuses is tried again every retry_period. A reader silent for
// history_protocol::expiry is forgotten, and at most max_clients are known at once.
// Everything runs on the thread of the loop that owns _io_context, which also appends.
class history_server {
public:
    static constexpr std::size_t max_clients = 64;

    // Binds the socket; a failure throws, naming the endpoint.
    history_server(boost::asio::io_context& _io_context, history& _history,
                   const std::string& _address, const libs::core::logger& _logger,
                   const secure_socket& _secure = {});
    history_server(const history_server&) = delete;
    history_server& operator=(const history_server&) = delete;
    ~history_server();

    void start();
    void stop();

    std::string endpoint() { return m_socket.last_endpoint(); }
    // Random for each start, so that a reader can tell a restart.
    const std::string& identity() const { return m_identity; }

private:
    // How a turn left a reader: at the end of the history, refused by a full queue, with more to
    // send, or gone.
    enum class progress { waiting, blocked, more, gone };
    using client_map = std::unordered_map<std::string, history_client>;

    void receive();
    void on_request(std::vector<azmq::message>& _frames);
    void take_request(const std::string& _id, const history_request& _request,
                      std::vector<azmq::message>& _frames);
    void serve_all();
    progress serve(const std::string& _id, history_client& _client);
    history::cursor last_of(const history_client& _client, std::uint64_t _count) const;
    // blocked, gone, or more when the socket took the message.
    progress say(const std::string& _id, const std::string& _line);
    progress send(const std::string& _id, const std::string& _line, const history::record* _record);
    void post_serve();
    // Calls _then after _period, unless _timer is armed already (_armed tells).
    void arm(boost::asio::steady_timer& _timer, bool& _armed,
             std::chrono::steady_clock::duration _period, void (history_server::*_then)());
    // Forgets the readers silent for too long.
    void expire();

    const libs::core::logger& m_logger;
    history& m_history;
    const std::string m_identity;
    azmq::socket m_socket;
    // Goes before the socket it watches.
    libs::core::curve::zap_handler::watch::ptr m_watch;
    boost::asio::steady_timer m_retry;
    boost::asio::steady_timer m_expiry;
    client_map m_clients;
    bool m_serve_posted = false;
    bool m_retry_armed = false;
    bool m_expiry_armed = false;
    // Handlers hold it weakly, so that one that runs after the server is gone does nothing.
    std::shared_ptr<history_server*> m_alive;
};

}  // namespace zel
