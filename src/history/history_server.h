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
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zel {

// Serves a history to its readers on a bound ROUTER socket (history_protocol.h tells the
// protocol). Everything runs on the thread of the loop that owns _io_context, which also appends.
//
// Slots: at most max_clients readers are known at once. A new reader always gets a slot: when
// its peer holds max_per_peer already, the longest-silent reader of that peer is let go, else,
// when all slots are taken, the longest-silent reader of all. One let go learns it from the
// "unknown" that answers its next ping, and asks again from where it was. A reader that says
// "bye" is forgotten at once, one silent for history_protocol::expiry too, and one whose
// connection has gone as soon as a send to it fails: a reader silent for probe_after is sent a
// "pong" every second to find out, since a ROUTER socket tells a lost connection only to a send.
//
// Memory: a reader is sent at most history_protocol::window bytes of records it has not said it
// read (a larger record alone), so that stalled readers make the relay hold at most max_clients
// times the window (32 MiB) beside the history, or max_clients records where records are larger.
// Lines (a few dozen bytes each) are bounded by ZeroMQ's high-water mark, 1,000 messages a
// reader; a reader that says it read what it did not is bounded by it too, records included.
//
// The loop: a turn gives each reader a budget of work (history_walk::record_cost per record
// looked at, the prefix bytes compared, the bytes copied to send) and goes on in the next turn,
// so that a turn costs at most max_clients budgets whatever the history holds and the readers
// ask. A request's start is found by walking back from the end (history_walk), in turns too.
// A reader whose queue is full is tried again every retry_period.
class history_server {
public:
    static constexpr std::size_t max_clients = 64;
    // A peer is a source address: connections cost a peer nothing, so a limit per connection
    // would limit nothing, while a host is what a firewall rule admits or not. Readers over ipc
    // share the peer "" of the local host.
    static constexpr std::size_t max_per_peer = 8;
    // The work of one reader in a turn, and of all: a turn ends past turn_work (by at most a
    // reader's budget and one record) and the next goes on with the reader after the last served.
    static constexpr std::size_t turn_budget = 64 * 1024;
    static constexpr std::size_t turn_work = 2 * 1024 * 1024;
    static constexpr std::chrono::seconds probe_after{3};

    // Binds the socket; a failure throws, naming the endpoint.
    history_server(boost::asio::io_context& _io_context, history& _history,
                   const std::string& _address, const libs::core::logger& _logger,
                   const secure_socket& _secure = {});
    history_server(const history_server&) = delete;
    history_server& operator=(const history_server&) = delete;
    ~history_server();

    void start();
    // Once the relay takes no more frames: each reader is served until it has had every record it
    // asked for, then told that the relay stops ("end"), and forgotten when it says "bye".
    // finished() tells when none is left; the loop must run meanwhile.
    void finish();
    bool finished() const { return m_clients.empty(); }
    // Tells each reader still there what it will not get and that the relay stops, and stops.
    void stop();

    std::string endpoint() { return m_socket.last_endpoint(); }
    // Random for each start, so that a reader can tell a restart.
    const std::string& identity() const { return m_identity; }

private:
    // How a turn left a reader: at the end of the history, refused by a full queue, with more to
    // send, waiting for it to say what it read, or gone.
    enum class progress { waiting, blocked, more, unread, gone };
    // Ordered, so that a turn can go on from where the last one ended.
    using client_map = std::map<std::string, history_client>;

    void receive();
    void on_request(std::vector<azmq::message>& _frames);
    void take_request(const std::string& _id, const history_request& _request,
                      std::vector<azmq::message>& _frames);
    void on_read(history_client& _client, std::uint64_t _bytes);
    // Frees a slot for a new reader of _peer when its peer, or the whole endpoint, has none.
    void make_room(const std::string& _peer);
    void serve_all();
    // Each adds the work it does to _spent, stopping at _limit.
    progress serve(const std::string& _id, history_client& _client, std::size_t& _spent);
    progress serve_records(const std::string& _id, history_client& _client, std::size_t& _spent,
                           std::size_t _limit);
    // blocked, gone, or more when the socket took the message.
    progress say(const std::string& _id, const std::string& _line);
    progress say_end(const std::string& _id);
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
    // The reader the next turn starts with, when the last one ended early.
    std::string m_resume;
    bool m_finishing = false;
    bool m_serve_posted = false;
    bool m_retry_armed = false;
    bool m_expiry_armed = false;
    // Handlers hold it weakly, so that one that runs after the server is gone does nothing.
    std::shared_ptr<history_server*> m_alive;
};

}  // namespace zel
