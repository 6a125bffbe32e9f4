#include <core/impl/message_stream/message_stream_zmq_topics.h>

#include <boost/asio/post.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace {

// The relay these streams usually read from forwards frames up to this size: a smaller bound
// would let one producer disconnect every subscriber. A publisher that sends more is dropped for
// good: libzmq takes it for a protocol error, after which a connecting socket does not retry.
constexpr std::int64_t max_frame_size = 64 * 1024 * 1024;

// A SUB socket drops the subscriptions that find its queue full, without a word, also when it
// sends them all again to a publisher that restarted.
constexpr int no_send_limit = 0;

// As the queue has no limit, the subscriptions and unsubscriptions made while the publisher is
// away would pile up in it; with no queue before a connection is made, ZeroMQ keeps only the
// current subscriptions and sends them whole once connected.
constexpr int queue_only_when_connected = 1;

// libzmq 4.3.4 mishandles subscriptions of 246 to 255 bytes over TCP: the publisher then sends
// the connection nothing at all. A longer topic is subscribed to by its first bytes.
constexpr std::size_t max_subscribed_bytes = 245;

}  // namespace

message_stream_zmq_topics::message_stream_zmq_topics(boost::asio::io_context& _io_context,
                                                     const component_logger& _logger,
                                                     const std::string& _address,
                                                     const curve::client_keys* _keys)
    : m_socket(_io_context)
    , m_logger(_logger)
    , m_monitor(_io_context, m_socket,
                [this](bool _connected) { on_connection_change(_connected); }) {
    m_socket.set_option(azmq::socket::send_high_water_mark(no_send_limit));
    m_socket.set_option(azmq::socket::immediate(queue_only_when_connected));
    m_socket.set_option(azmq::socket::max_message_size(max_frame_size));
    if (_keys != nullptr) {
        _keys->apply(m_socket.native_handle());
    }
    m_socket.connect(_address);
}

void message_stream_zmq_topics::set_connection_callback(
    message_stream::connection_callback _callback) {
    m_connection_callback = std::move(_callback);
    if (!m_connection_callback || !m_connected) {
        return;
    }
    boost::asio::post(m_socket.get_io_context(),
                      [weak_topics = weak_from_this(), told = m_changes_told] {
                          const auto topics = weak_topics.lock();
                          if (topics && topics->m_changes_told == told && topics->m_connected &&
                              topics->m_connection_callback) {
                              topics->on_connection_change(true);
                          }
                      });
}

void message_stream_zmq_topics::on_connection_change(bool _connected) {
    m_connected = _connected;
    ++m_changes_told;
    if (m_connection_callback) {
        // A copy runs, so that the callback may replace itself.
        auto callback = m_connection_callback;
        callback(_connected);
    }
}

topic_trie::node& message_stream_zmq_topics::add(
    boost::string_view _topic, const std::weak_ptr<message_stream::callback>& _callback) {
    const auto added = m_topics.add(_topic);
    topic_trie::node& topic = *added.first;
    if (added.second) {
        try {
            m_socket.set_option(
                azmq::socket::subscribe(_topic.substr(0, max_subscribed_bytes).to_string()));
        } catch (...) {
            m_topics.remove(topic);
            throw;
        }
    }
    topic.callbacks.push_back(_callback);
    return topic;
}

void message_stream_zmq_topics::remove_later(topic_trie::node& _topic) {
    // Not at once: a frame being dispatched may be walking the topic's list. The node stays
    // meanwhile, as its removals pending are counted.
    ++_topic.pending_removals;
    boost::asio::post(m_socket.get_io_context(), [weak_topics = weak_from_this(), topic = &_topic] {
        if (const auto topics = weak_topics.lock()) {
            topics->remove_if_unused(*topic);
        }
    });
}

void message_stream_zmq_topics::remove_if_unused(topic_trie::node& _topic) {
    if (--_topic.pending_removals != 0) {
        return;
    }
    remove_expired_callbacks(_topic.callbacks);
    if (!_topic.callbacks.empty()) {
        return;
    }
    const std::string subscribed = topic_trie::prefix(_topic, max_subscribed_bytes);
    m_topics.remove(_topic);
    boost::system::error_code error;
    m_socket.set_option(azmq::socket::unsubscribe(subscribed), error);
    if (error) {
        m_logger.log_error(error, ZEL_LOCATION);
    }
}

void message_stream_zmq_topics::process_message(boost::string_view _message) {
    // The lists stay where they are while callbacks subscribe: nodes do not move, and topics are
    // removed only on a later turn of the loop.
    m_topics.for_each_topic_of(_message, [_message](topic_trie::node& _topic) {
        call_callbacks(_topic.callbacks, _message);
        remove_expired_callbacks(_topic.callbacks);
    });
}

void message_stream_zmq_topics::call_callbacks(const callbacks_vector& _callbacks,
                                               boost::string_view _message) {
    // By index and up to the size at the start: a callback may subscribe to this very topic,
    // which appends to the list (the new subscriber gets the next frames, not this one).
    const std::size_t count = _callbacks.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (const auto callback = _callbacks[i].lock()) {
            (*callback)(_message);
        }
    }
}

void message_stream_zmq_topics::remove_expired_callbacks(callbacks_vector& _callbacks) {
    _callbacks.erase(std::remove_if(_callbacks.begin(), _callbacks.end(),
                                    [](const auto& _callback) { return _callback.expired(); }),
                     _callbacks.end());
}

}  // namespace core
}  // namespace libs
}  // namespace zel
