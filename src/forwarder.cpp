#include "forwarder.h"

#include "bind_endpoint.h"

#include <boost/asio/error.hpp>
#include <boost/system/error_code.hpp>
#include <boost/system/system_error.hpp>

#include <cstddef>
#include <cstdint>
#include <utility>

namespace zel {

namespace {

// Anyone who reaches the ports may send, and ZeroMQ holds what a peer sends: about 32 bytes per
// byte of a subscription, and a frame whole until its last byte. Far above any real topic or
// record, these make ZeroMQ drop the peer instead.
constexpr std::int64_t max_subscription_size = 4 * 1024;
constexpr std::int64_t max_frame_size = 64 * 1024 * 1024;

// Both sockets are used on the loop's thread only (the signal thread only stops the loop), so
// their locks are never contended; taken for every receive and send, they still cost about a
// sixth of the relay's CPU.
constexpr bool optimize_single_threaded = true;

// The frames one completion publishes: its own and those already queued behind it. A queued
// frame costs a non-blocking receive, a fraction of what a completion costs; the bounds keep the
// loop's other handlers from waiting long, and the output processing its commands often.
constexpr int max_frames_per_completion = 256;
constexpr std::size_t max_bytes_per_completion = 64 * 1024;
// With CURVE, the input's connections on one libzmq I/O thread and the output's on the other: a
// flood of refused handshakes at the input (about 0.8 ms of its thread each) then only slows the
// producers, whose queues keep their frames, while the subscribers' frames leave on time.
// Without, a handshake costs little and both stay on one thread: apart, the thread switches cost
// 15 to 25 % more CPU per frame at 64 B.
constexpr std::uint64_t input_io_thread = 1 << 0;
constexpr std::uint64_t output_io_thread = 1 << 1;
// How long the frames published at stop may take to reach subscribers that read: at exit, the
// relay waits for them at most this long.
constexpr int output_linger_ms = 1000;

}  // namespace

forwarder::forwarder(boost::asio::io_context& _io_context, const std::string& _input_address,
                     const std::string& _output_address, const libs::core::logger& _logger,
                     history* _history, const secure_socket& _secure)
    : m_logger(_logger)
    , m_history(_history)
    , m_output(_io_context, optimize_single_threaded)
    , m_input(std::make_shared<input_socket>(_io_context, optimize_single_threaded)) {
    // Watched before they bind, so that no peer comes unseen.
    watch_peers(_io_context, m_output, _secure,
                [this](bool _connected) { m_counters.subscribers += _connected ? 1 : -1; });
    watch_peers(_io_context, *m_input, _secure,
                [this](bool _connected) { m_counters.producers += _connected ? 1 : -1; });
    const bool secured = !m_watches.empty();
    m_output.set_option(azmq::socket::affinity(secured ? output_io_thread : input_io_thread));
    m_output.set_option(azmq::socket::max_message_size(max_subscription_size));
    m_output.set_option(azmq::socket::linger(output_linger_ms));
    bind_endpoint(m_output, _output_address, "output");
    // Otherwise the output learns how far a subscriber has read only about once a millisecond
    // while it sends, and drops frames for a subscriber that has made room.
    m_output.process_commands_on_arrival();
    m_input->set_option(azmq::socket::affinity(input_io_thread));
    m_input->set_option(azmq::socket::max_message_size(max_frame_size));
    bind_endpoint(*m_input, _input_address, "input");
}

void forwarder::watch_peers(boost::asio::io_context& _io_context, azmq::socket& _socket,
                            const secure_socket& _secure,
                            libs::core::connection_monitor::callback _on_connection) {
    if (_secure) {
        if (auto watch = _secure(_socket, _on_connection)) {
            m_watches.push_back(std::move(watch));
            return;
        }
    }
    m_peers.push_back(std::make_unique<libs::core::connection_monitor>(_io_context, _socket,
                                                                       std::move(_on_connection)));
}

void forwarder::start() {
    setup_pipeline(m_input);
}

// What has reached the input is relayed after, and kept rather than closed away with the
// connections, since its producers count it delivered.
void forwarder::unbind_input() {
    boost::system::error_code error;
    m_input->unbind(m_input->last_endpoint(), error);
    if (error) {
        m_logger.log_error(error, ZEL_LOCATION);
    }
}

void forwarder::stop() {
    m_input->cancel();
}

std::string forwarder::input_endpoint() {
    return m_input->last_endpoint();
}

std::string forwarder::output_endpoint() {
    return m_output.last_endpoint();
}

void forwarder::count_received(const azmq::message& _frame) {
    ++m_counters.frames_received;
    m_counters.bytes_received += _frame.size();
}

void forwarder::publish(azmq::message&& _frame) {
    // Before the send, which takes the frame's content away.
    if (m_history) {
        m_history->append(_frame.data(), _frame.size());
    }
    boost::system::error_code error;
    m_output.send(std::move(_frame), 0, error);
    if (error) {
        throw boost::system::system_error(error);
    }
    ++m_counters.frames_published;
}

// After several frames, the output processes the commands its subscribers' queues have sent
// meanwhile, which sending alone does only about once a millisecond: it learns the room they have
// made, and drops less for them.
void forwarder::publish_with_queued(input_socket& _input, azmq::message&& _frame) {
    // The counters already add up what this completion takes.
    const std::uint64_t bytes_before = m_counters.bytes_received;
    count_received(_frame);
    publish(std::move(_frame));
    azmq::message queued;
    int published = 1;
    for (; published < max_frames_per_completion &&
           m_counters.bytes_received - bytes_before < max_bytes_per_completion;
         ++published) {
        boost::system::error_code error;
        _input.receive(queued, ZMQ_DONTWAIT, error);
        if (error) {
            // Nothing is queued any more, or the receive armed next reports the failure.
            break;
        }
        count_received(queued);
        publish(std::move(queued));
    }
    // A lone frame costs no such call: the loop soon comes back to the output's descriptor wait,
    // which processes the commands as they arrive.
    if (published > 1) {
        boost::system::error_code ignored;
        m_output.events(ignored);
    }
}

// The handler holds the input weakly and checks it before touching the forwarder: a completion
// that runs after the forwarder is gone is an abort, or finds the socket gone.
void forwarder::setup_pipeline(std::shared_ptr<input_socket> _input) {
    _input->async_receive(
        [this, weak_input = std::weak_ptr<input_socket>(_input)](
            boost::system::error_code& _error, azmq::message& _message, std::size_t) {
            if (_error == boost::asio::error::operation_aborted) {
                return;
            }
            auto input = weak_input.lock();
            if (!input) {
                return;
            }
            // The pointer is handed on, not copied: every reference count change is an atomic
            // operation on the path of every frame.
            if (_error) {
                setup_pipeline(std::move(input));
                m_logger.log_error(_error, ZEL_LOCATION);
                return;
            }
            // The queued frames go out before the next receive is armed, so that it takes the frame
            // after them however this completion was delivered. It is armed whatever happens: a
            // failed send loses only its frame.
            try {
                publish_with_queued(*input, std::move(_message));
            } catch (...) {
                setup_pipeline(std::move(input));
                throw;
            }
            setup_pipeline(std::move(input));
        });
}

}  // namespace zel
