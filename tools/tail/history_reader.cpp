#include "history_reader.h"

#include "history/history_protocol.h"

#include <boost/asio/error.hpp>
#include <boost/system/error_code.hpp>

#include <zmq.h>

#include <charconv>
#include <iostream>
#include <utility>

namespace zel {
namespace tail {

namespace {

namespace protocol = history_protocol;

// Requests and pings that wait for a connection: no more than a few pile up while the relay is
// away, each answered when it comes back.
constexpr int max_queued_requests = 4;
// The relay's frames go up to 64 MiB, plus the line before them.
constexpr std::int64_t max_frame_size = 64 * 1024 * 1024 + 64;

std::uint64_t number_at(boost::string_view _text) {
    std::uint64_t number = 0;
    std::from_chars(_text.data(), _text.data() + _text.size(), number);
    return number;
}

// The word after the first space, and what follows it.
boost::string_view after_word(boost::string_view _line) {
    const auto space = _line.find(' ');
    return space == boost::string_view::npos ? boost::string_view() : _line.substr(space + 1);
}

}  // namespace

history_reader::history_reader(boost::asio::io_context& _io_context, const options& _settings,
                               const libs::core::curve::client_keys* _keys)
    : m_settings(_settings)
    , m_socket(_io_context, ZMQ_DEALER, true)
    , m_timer(_io_context)
    , m_alive(std::make_shared<history_reader*>(this))
    , m_monitor(_io_context, m_socket, [this](bool _connected) {
        if (_connected) {
            on_connected();
        }
    }) {
    m_socket.set_option(azmq::socket::send_high_water_mark(max_queued_requests));
    m_socket.set_option(azmq::socket::max_message_size(max_frame_size));
    if (_keys) {
        _keys->apply(m_socket.native_handle());
    }
    m_socket.connect(m_settings.endpoint);
}

void history_reader::start(print_callback _print, end_callback _end) {
    m_print = std::move(_print);
    m_end = std::move(_end);
    request();
    receive();
    tick();
}

// A reader the relay knows frees its slot for another.
history_reader::~history_reader() {
    if (!m_identity.empty()) {
        send("bye", false);
    }
    m_socket.cancel();
    m_timer.cancel();
}

void history_reader::receive() {
    m_socket.async_receive(
        [alive = std::weak_ptr<history_reader*>(m_alive)](boost::system::error_code& _error,
                                                          azmq::message& _line, std::size_t) {
            const auto reader = alive.lock();
            if (!reader || _error == boost::asio::error::operation_aborted) {
                return;
            }
            history_reader& self = **reader;
            self.receive();
            if (_error) {
                return;
            }
            azmq::message frame;
            boost::system::error_code error;
            if (_line.more()) {
                self.m_socket.receive(frame, ZMQ_DONTWAIT, error);
            }
            self.on_message(_line.string(), _line.more() && !error ? &frame : nullptr);
        });
}

void history_reader::on_message(boost::string_view _line, const azmq::message* _frame) {
    heard(true);
    const auto kind = _line.substr(0, _line.find(' '));
    const auto rest = after_word(_line);
    if (kind == "record" && _frame) {
        const auto sequence = number_at(rest);
        // A request asked again may be answered with records already had.
        if (sequence > m_last_seen) {
            m_last_seen = sequence;
            m_print(_frame->string());
        }
        read(_frame->size());
    } else if (kind == "start") {
        const auto identity = rest.substr(0, rest.find(' '));
        const auto first = number_at(after_word(rest));
        if (identity != m_identity) {
            if (!m_identity.empty() && !m_identity_ended) {
                std::cerr << "vandrel-tail: the relay restarted without saying where it stopped: "
                             "records may be lost\n";
            }
            m_identity = std::string(identity);
            m_identity_ended = false;
            m_last_seen = first - 1;
        }
        m_awaiting_start = false;
    } else if (kind == "end" && rest.substr(0, rest.find(' ')) == m_identity) {
        // The relay waits for the word before it closes the connection, and a ping after it would
        // be data the stopping relay never reads, which makes its close discard what it still
        // had to send.
        m_identity_ended = true;
        send("bye", false);
    } else if (kind == "lost") {
        const auto reason = after_word(rest);
        std::cerr << "vandrel-tail: lost " << number_at(rest) << " records (" << reason << ")\n";
    } else if (kind == "live" && !m_settings.follow && !m_ended) {
        m_ended = true;
        m_end(0);
    } else if (kind == "unknown" &&
               (!m_awaiting_start ||
                std::chrono::steady_clock::now() - m_requested_at > protocol::ping_period * 3)) {
        request();
    } else if (kind == "error" && !m_ended) {
        std::cerr << "vandrel-tail: the relay refused the request: " << rest << '\n';
        m_ended = true;
        m_end(1);
    }
}

// The relay sends no more than a window of records the reader has not said it read.
void history_reader::read(std::size_t _bytes) {
    m_unreported += _bytes;
    if (m_unreported >= protocol::read_report &&
        send("read " + std::to_string(m_unreported), false)) {
        m_unreported = 0;
    }
}

// One that the socket does not take, without a connection, is sent again once there is one.
void history_reader::request() {
    m_awaiting_start =
        send(m_identity.empty() ? "last " + std::to_string(m_settings.last)
                                : "after " + m_identity + " " + std::to_string(m_last_seen),
             true);
    m_unreported = 0;
    m_requested_at = std::chrono::steady_clock::now();
}

bool history_reader::send(const std::string& _line, bool _with_prefixes) {
    const bool prefixes = _with_prefixes && !m_settings.prefixes.empty();
    boost::system::error_code error;
    m_socket.send(azmq::message(_line), ZMQ_DONTWAIT | (prefixes ? ZMQ_SNDMORE : 0), error);
    if (error || !prefixes) {
        return !error;
    }
    const auto& all = m_settings.prefixes;
    for (auto prefix = all.begin(); prefix != all.end(); ++prefix) {
        const bool last = std::next(prefix) == all.end();
        m_socket.send(azmq::message(*prefix), last ? 0 : ZMQ_SNDMORE, error);
    }
    return !error;
}

// A ping a second: the relay keeps a reader that pings, and answers "unknown" after it has
// restarted or lost the reader's connection.
void history_reader::tick() {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_heard_at > protocol::ping_period * 3) {
        heard(false);
    }
    if (!m_settings.follow && m_identity.empty() && now - m_requested_at > answer_timeout &&
        !m_ended) {
        std::cerr << "vandrel-tail: no answer from " << m_settings.endpoint << '\n';
        m_ended = true;
        m_end(1);
        return;
    }
    if (!m_identity_ended) {
        send("ping", false);
    }
    m_timer.expires_after(protocol::ping_period);
    m_timer.async_wait(
        [alive = std::weak_ptr<history_reader*>(m_alive)](const boost::system::error_code& _error) {
            const auto reader = alive.lock();
            if (reader && !_error) {
                (*reader)->tick();
            }
        });
}

// Asked at once: a relay that restarts may live less than a ping period.
void history_reader::on_connected() {
    if (!m_ended) {
        request();
    }
}

void history_reader::heard(bool _heard) {
    if (_heard) {
        m_heard_at = std::chrono::steady_clock::now();
    }
    if (_heard != m_connected) {
        m_connected = _heard;
        if (m_on_connection_change) {
            m_on_connection_change(_heard);
        }
    }
}

}  // namespace tail
}  // namespace zel
