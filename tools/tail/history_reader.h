#pragma once

#include "options.h"

#include <core/curve/client_keys.h>
#include <core/impl/zmq/connection_monitor.h>
#include <azmq/socket.hpp>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/utility/string_view.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zel {
namespace tail {

// Reads a relay's history endpoint (src/history_protocol.h tells the protocol): asks for the last
// records, then follows. Across a lost connection or a relay restart it asks again, as soon as it
// is connected, for what it has not had, so that no record is printed twice and none the relay
// still holds is skipped. Every gap is one line on standard error: those the relay tells of, and,
// when a relay start gives way to another without having said where it stopped, that records may
// be lost. Runs on the thread of _io_context's loop.
class history_reader {
public:
    using print_callback = std::function<void(boost::string_view)>;
    // Called once: with 0 when --no-follow's records are printed, 1 on a failure already said.
    using end_callback = std::function<void(int)>;
    // Called with true when the relay answers after a silence, false when it has not answered
    // three pings in a row.
    using connection_callback = std::function<void(bool)>;

    // Connects, as a CURVE client with _keys when given; a refused endpoint throws.
    history_reader(boost::asio::io_context& _io_context, const options& _settings,
                   const libs::core::curve::client_keys* _keys);
    history_reader(const history_reader&) = delete;
    history_reader& operator=(const history_reader&) = delete;
    ~history_reader();

    // Asks for the records and prints them. Without --no-follow it waits for the relay as long
    // as it runs; with it, at most answer_timeout for the relay's first answer.
    void start(print_callback _print, end_callback _end);
    void on_connection_change(connection_callback _callback) {
        m_on_connection_change = std::move(_callback);
    }

    static constexpr std::chrono::seconds answer_timeout{10};

private:
    void receive();
    void on_message(boost::string_view _line, const azmq::message* _frame);
    void read(std::size_t _bytes);
    void request();
    // False when the socket did not take it.
    bool send(const std::string& _line, bool _with_prefixes);
    void tick();
    void heard(bool _heard);
    void on_connected();

    const options& m_settings;
    print_callback m_print;
    end_callback m_end;
    connection_callback m_on_connection_change;
    azmq::socket m_socket;
    boost::asio::steady_timer m_timer;
    // The relay start whose records these are, and the last sequence number had of it.
    std::string m_identity;
    std::uint64_t m_last_seen = 0;
    // Whether that relay start has said it stopped, having sent all it had for this reader.
    bool m_identity_ended = false;
    // Bytes of records read and not said to the relay yet.
    std::size_t m_unreported = 0;
    // A request sent and not answered yet, and when: a ping's "unknown" meanwhile asks nothing.
    bool m_awaiting_start = false;
    std::chrono::steady_clock::time_point m_requested_at;
    bool m_ended = false;
    bool m_connected = false;
    std::chrono::steady_clock::time_point m_heard_at;
    std::shared_ptr<history_reader*> m_alive;
    // Goes before the socket it watches.
    libs::core::connection_monitor m_monitor;
};

}  // namespace tail
}  // namespace zel
