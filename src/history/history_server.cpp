#include "history/history_server.h"

#include "bind_endpoint.h"
#include "history/history_protocol.h"

#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>
#include <boost/system/error_code.hpp>

#include <zmq.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>
#include <utility>

namespace zel {

namespace protocol = history_protocol;

namespace {

// A request line, or a prefix, is far below this; a peer that sends more loses its connection.
constexpr std::int64_t max_frame_size = 4096;
// Requests a reader has sent and the relay not read yet: each at most max_prefixes + 2 frames.
constexpr int max_queued_requests = 10;
// ROUTER has no readiness for one reader: one that was full is tried again this often.
constexpr std::chrono::milliseconds retry_period(10);
constexpr std::chrono::seconds expiry_check_period(1);
// What readers were last told at stop ("end", "lost") reaches them after the socket is closed:
// at exit, the relay waits for it at most this long.
constexpr int linger_ms = 1000;

using routing_mandatory = azmq::detail::integer_option<ZMQ_ROUTER_MANDATORY, int>;

std::string random_identity() {
    std::random_device source;
    char text[17];
    std::snprintf(text, sizeof text, "%08x%08x", source(), source());
    return text;
}

// The one place the history's socket is made; what guards an endpoint is set before it binds.
azmq::socket open_socket(boost::asio::io_context& _io_context) {
    azmq::socket socket(_io_context, ZMQ_ROUTER, true);
    // A send to a reader whose queue is full, or who has gone, fails instead of vanishing.
    socket.set_option(routing_mandatory(1));
    socket.set_option(azmq::socket::max_message_size(max_frame_size));
    socket.set_option(azmq::socket::receive_high_water_mark(max_queued_requests));
    socket.set_option(azmq::socket::linger(linger_ms));
    return socket;
}

boost::string_view text_of(const history::record& _record) {
    return {_record.data, _record.size};
}

}  // namespace

history_server::history_server(boost::asio::io_context& _io_context, history& _history,
                               const std::string& _address, const libs::core::logger& _logger,
                               const secure_socket& _secure)
    : m_logger(_logger)
    , m_history(_history)
    , m_identity(random_identity())
    , m_socket(open_socket(_io_context))
    , m_watch(_secure ? _secure(m_socket, {}) : nullptr)
    , m_retry(_io_context)
    , m_expiry(_io_context)
    , m_alive(std::make_shared<history_server*>(this)) {
    bind_endpoint(m_socket, _address, "history");
    m_history.on_append([this] { post_serve(); });
}

history_server::~history_server() {
    m_history.on_append(nullptr);
}

void history_server::start() {
    receive();
}

// Readers told "end" are kept until they say "bye": a connection closed with what the reader
// has not read yet may lose it.
void history_server::finish() {
    m_finishing = true;
    serve_all();
}

// What a reader still lacks is counted from its position, or from the first record it asked for
// while its start is still being found; a "last N" still being found counts from where the walk
// has reached, since how many of the records before match is not known.
void history_server::stop() {
    for (const auto& [id, client] : m_clients) {
        if (client.end_said) {
            continue;
        }
        const std::uint64_t from =
            client.walk && client.wanted != 0 ? client.wanted : client.position.sequence;
        const std::uint64_t lacking = client.unsaid_lost + (m_history.next_sequence() - from);
        if (lacking != 0) {
            say(id, "lost " + std::to_string(lacking) + " " + protocol::relay_stopped);
        }
        say_end(id);
    }
    m_clients.clear();
    m_socket.cancel();
    m_retry.cancel();
    m_expiry.cancel();
}

void history_server::receive() {
    m_socket.async_receive(
        [alive = std::weak_ptr<history_server*>(m_alive)](boost::system::error_code& _error,
                                                          azmq::message& _frame, std::size_t) {
            if (_error == boost::asio::error::operation_aborted) {
                return;
            }
            const auto server = alive.lock();
            if (!server) {
                return;
            }
            history_server& self = **server;
            if (_error) {
                self.receive();
                self.m_logger.log_error(_error, ZEL_LOCATION);
                return;
            }
            // A message's frames arrive together: the rest are there already.
            std::vector<azmq::message> frames;
            frames.push_back(std::move(_frame));
            for (bool more = frames.back().more(); more;) {
                azmq::message next;
                boost::system::error_code error;
                self.m_socket.receive(next, ZMQ_DONTWAIT, error);
                more = !error && next.more();
                if (!error && frames.size() <= protocol::max_prefixes + 2) {
                    frames.push_back(std::move(next));
                }
            }
            self.receive();
            self.on_request(frames);
        });
}

void history_server::on_request(std::vector<azmq::message>& _frames) {
    if (_frames.size() < 2) {
        return;
    }
    const std::string id(_frames[0].string());
    const auto request = history_request::parse(_frames[1].string());
    using action = history_request::action;
    if (request.what == action::invalid) {
        say(id, "error " + request.error);
        return;
    }
    if (request.what == action::last || request.what == action::after) {
        take_request(id, request, _frames);
        return;
    }
    const auto known = m_clients.find(id);
    if (request.what == action::bye) {
        if (known != m_clients.end()) {
            m_clients.erase(known);
        }
        return;
    }
    if (known == m_clients.end()) {
        if (request.what == action::ping) {
            say(id, "unknown");
        }
        return;
    }
    known->second.last_heard = std::chrono::steady_clock::now();
    if (request.what == action::read) {
        on_read(known->second, request.number);
    } else {
        say(id, "pong");
    }
}

namespace {

// libzmq gives the source address of a message from a TCP peer, none for ipc. Read from the
// request line, a frame the peer sent: under load, the routing-id frame the ROUTER makes was seen
// without it now and then.
std::string peer_of(const azmq::message& _frame) {
    const char* address = zmq_msg_gets(_frame.native_handle(), "Peer-Address");
    return address ? address : "";
}

}  // namespace

void history_server::take_request(const std::string& _id, const history_request& _request,
                                  std::vector<azmq::message>& _frames) {
    if (_frames.size() > protocol::max_prefixes + 2) {
        say(_id, "error at most " + std::to_string(protocol::max_prefixes) + " prefixes");
        return;
    }
    history_client client;
    for (std::size_t i = 2; i < _frames.size(); ++i) {
        if (_frames[i].size() > protocol::max_prefix_size) {
            say(_id, "error a prefix has at most " + std::to_string(protocol::max_prefix_size) +
                         " bytes");
            return;
        }
        client.filter.prefixes.emplace_back(_frames[i].string());
    }
    client.peer = peer_of(_frames[1]);
    client.last_heard = std::chrono::steady_clock::now();
    client.live_from = m_history.next_sequence();
    client.position = m_history.end();
    if (_request.what == history_request::action::last) {
        client.walk = history_walk::last(m_history, _request.number);
    } else if (_request.identity == m_identity) {
        // A sequence number from the future is taken for the end.
        if (_request.number < m_history.next_sequence()) {
            client.wanted = _request.number + 1;
            client.walk = history_walk::to(m_history, client.wanted);
        }
    } else {
        // Everything this start holds; what it no longer holds was lost to the restart.
        client.position = m_history.oldest();
        client.unsaid_lost = m_history.oldest_sequence() - history::first_sequence;
        client.lost_reason = protocol::relay_restarted;
    }
    const auto known = m_clients.find(_id);
    if (known == m_clients.end()) {
        make_room(client.peer);
        m_clients.emplace(_id, std::move(client));
    } else {
        known->second = std::move(client);
    }
    arm(m_expiry, m_expiry_armed, expiry_check_period, &history_server::expire);
    post_serve();
}

void history_server::on_read(history_client& _client, std::uint64_t _bytes) {
    _client.unread -= std::min<std::uint64_t>(_bytes, _client.unread);
    post_serve();
}

void history_server::make_room(const std::string& _peer) {
    const auto longest_silent = [this](auto _among) {
        auto found = m_clients.end();
        for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
            if (_among(it->second) &&
                (found == m_clients.end() || it->second.last_heard < found->second.last_heard)) {
                found = it;
            }
        }
        return found;
    };
    const auto of_peer = [&_peer](const history_client& _client) { return _client.peer == _peer; };
    auto let_go = m_clients.end();
    if (static_cast<std::size_t>(std::count_if(m_clients.begin(), m_clients.end(), [&](auto& _it) {
            return of_peer(_it.second);
        })) >= max_per_peer) {
        let_go = longest_silent(of_peer);
    } else if (m_clients.size() >= max_clients) {
        let_go = longest_silent([](const history_client&) { return true; });
    }
    if (let_go != m_clients.end()) {
        m_clients.erase(let_go);
    }
}

void history_server::serve_all() {
    m_serve_posted = false;
    bool waiting = false;
    bool blocked = false;
    bool more = false;
    std::size_t spent = 0;
    auto it = m_clients.lower_bound(m_resume);
    for (std::size_t left = m_clients.size(); left != 0; --left) {
        if (it == m_clients.end()) {
            it = m_clients.begin();
        }
        if (spent >= turn_work) {
            m_resume = it->first;
            more = true;
            break;
        }
        progress made = serve(it->first, it->second, spent);
        if (m_finishing && made == progress::waiting && !it->second.end_said) {
            made = say_end(it->first);
            it->second.end_said = made == progress::more;
            made = made == progress::more ? progress::waiting : made;
        }
        if (made == progress::gone) {
            it = m_clients.erase(it);
            continue;
        }
        waiting |= made == progress::waiting;
        blocked |= made == progress::blocked;
        more |= made == progress::more;
        ++it;
    }
    if (more) {
        post_serve();
    }
    if (waiting) {
        m_history.watch();
    }
    if (blocked) {
        arm(m_retry, m_retry_armed, retry_period, &history_server::serve_all);
    }
}

history_server::progress history_server::serve(const std::string& _id, history_client& _client,
                                               std::size_t& _spent) {
    const std::size_t limit = _spent + turn_budget;
    if (_client.walk) {
        std::size_t budget = turn_budget;
        const bool found = _client.walk->step(m_history, _client.filter, budget, _client.position);
        _spent += turn_budget - budget;
        if (!found) {
            return progress::more;
        }
        _client.walk.reset();
        if (_client.position.sequence > _client.wanted && _client.wanted != 0) {
            _client.unsaid_lost = _client.position.sequence - _client.wanted;
            _client.lost_reason = protocol::reader_too_slow;
        }
    }
    if (const auto lost = m_history.catch_up(_client.position)) {
        if (_client.unsaid_lost == 0) {
            _client.lost_reason = protocol::reader_too_slow;
        }
        _client.unsaid_lost += lost;
    }
    if (!_client.start_said) {
        const auto said =
            say(_id, "start " + m_identity + " " + std::to_string(_client.position.sequence));
        if (said != progress::more) {
            return said;
        }
        _client.start_said = true;
    }
    if (_client.unsaid_lost != 0) {
        const auto said =
            say(_id, "lost " + std::to_string(_client.unsaid_lost) + " " + _client.lost_reason);
        if (said != progress::more) {
            return said;
        }
        _client.unsaid_lost = 0;
    }
    return serve_records(_id, _client, _spent, limit);
}

history_server::progress history_server::serve_records(const std::string& _id,
                                                       history_client& _client, std::size_t& _spent,
                                                       std::size_t _limit) {
    while (_spent < _limit) {
        if (!_client.live_said && _client.position.sequence >= _client.live_from) {
            const auto said = say(_id, "live");
            if (said != progress::more) {
                return said;
            }
            _client.live_said = true;
        }
        auto next = _client.position;
        history::record record;
        if (!m_history.read(next, record)) {
            return progress::waiting;
        }
        std::size_t cost = history_walk::record_cost;
        if (record.what == history::kind::too_large) {
            const auto said = say(_id, std::string("lost 1 ") + protocol::too_large);
            if (said != progress::more) {
                return said;
            }
        } else if (_client.filter.wants(text_of(record), cost)) {
            if (_client.unread != 0 && _client.unread + record.size > protocol::window) {
                return progress::unread;
            }
            const auto said =
                send(_id, "record " + std::to_string(_client.position.sequence), &record);
            if (said != progress::more) {
                return said;
            }
            _client.unread += record.size;
            cost += record.size;
        }
        _client.position = next;
        _spent += cost;
    }
    return progress::more;
}

history_server::progress history_server::say(const std::string& _id, const std::string& _line) {
    return send(_id, _line, nullptr);
}

history_server::progress history_server::say_end(const std::string& _id) {
    return say(_id, "end " + m_identity + " " + std::to_string(m_history.next_sequence() - 1));
}

// Once ZeroMQ takes the first frame, it takes the whole message.
history_server::progress history_server::send(const std::string& _id, const std::string& _line,
                                              const history::record* _record) {
    boost::system::error_code error;
    m_socket.send(azmq::message(_id.data(), _id.size()), ZMQ_SNDMORE | ZMQ_DONTWAIT, error);
    if (error == boost::asio::error::would_block) {
        return progress::blocked;
    }
    if (error) {
        if (error.value() != EHOSTUNREACH) {
            m_logger.log_error(error, ZEL_LOCATION);
        }
        return progress::gone;
    }
    m_socket.send(azmq::message(_line), _record ? ZMQ_SNDMORE : 0, error);
    if (_record) {
        m_socket.send(azmq::message(_record->data, _record->size), 0, error);
    }
    return progress::more;
}

void history_server::post_serve() {
    if (m_serve_posted) {
        return;
    }
    m_serve_posted = true;
    boost::asio::post(m_socket.get_executor(), [alive = std::weak_ptr<history_server*>(m_alive)] {
        if (const auto server = alive.lock()) {
            (*server)->serve_all();
        }
    });
}

void history_server::arm(boost::asio::steady_timer& _timer, bool& _armed,
                         std::chrono::steady_clock::duration _period,
                         void (history_server::*_then)()) {
    if (_armed) {
        return;
    }
    _armed = true;
    _timer.expires_after(_period);
    _timer.async_wait([alive = std::weak_ptr<history_server*>(m_alive), &_armed,
                       _then](const boost::system::error_code& _error) {
        const auto server = alive.lock();
        if (!server || _error) {
            return;
        }
        _armed = false;
        ((*server)->*_then)();
    });
}

void history_server::expire() {
    const auto now = std::chrono::steady_clock::now();
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        const auto silent = now - it->second.last_heard;
        const bool gone = silent > protocol::expiry ||
                          (silent > probe_after && say(it->first, "pong") == progress::gone);
        it = gone ? m_clients.erase(it) : std::next(it);
    }
    if (!m_clients.empty()) {
        arm(m_expiry, m_expiry_armed, expiry_check_period, &history_server::expire);
    }
}

}  // namespace zel
