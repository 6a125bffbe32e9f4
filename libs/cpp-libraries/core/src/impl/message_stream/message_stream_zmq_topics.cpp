#include <core/impl/message_stream/message_stream_zmq_topics.h>

#include <boost/asio/post.hpp>

#include <algorithm>
#include <cstdint>
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

// An emptied table of few buckets keeps them, as a table that grows again would take them back.
constexpr std::size_t kept_buckets = 1024;

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

void message_stream_zmq_topics::add(boost::string_view _topic,
                                    const std::weak_ptr<message_stream::callback>& _callback) {
    std::string topic(_topic);
    auto found = m_callbacks.find(topic);
    if (found == m_callbacks.end()) {
        m_socket.set_option(azmq::socket::subscribe(topic.substr(0, max_subscribed_bytes)));
        found = m_callbacks.emplace(std::move(topic), callbacks_vector()).first;
        add_length(_topic.size());
    }
    found->second.push_back(_callback);
}

void message_stream_zmq_topics::remove_later(std::string _topic) {
    // Not at once: a frame being dispatched may be walking the topic's list.
    boost::asio::post(m_socket.get_io_context(),
                      [weak_topics = weak_from_this(), topic = std::move(_topic)] {
                          if (const auto topics = weak_topics.lock()) {
                              topics->remove_if_unused(topic);
                          }
                      });
}

void message_stream_zmq_topics::remove_if_unused(const std::string& _topic) {
    const auto found = m_callbacks.find(_topic);
    if (found == m_callbacks.end()) {
        return;
    }
    remove_expired_callbacks(found->second);
    if (!found->second.empty()) {
        return;
    }
    m_callbacks.erase(found);
    remove_length(_topic.size());
    // The table shrinks with the topics, or the buckets of a burst of them would stay.
    if (m_callbacks.bucket_count() > kept_buckets &&
        m_callbacks.size() < m_callbacks.bucket_count() / 8) {
        m_callbacks.rehash(0);
    }
    boost::system::error_code error;
    m_socket.set_option(azmq::socket::unsubscribe(_topic.substr(0, max_subscribed_bytes)), error);
    if (error) {
        m_logger.log_error(error, ZEL_LOCATION);
    }
}

void message_stream_zmq_topics::add_length(std::size_t _length) {
    const auto found = find_length(_length);
    if (found != m_topic_lengths.end() && found->length == _length) {
        ++found->topics;
    } else {
        m_topic_lengths.insert(found, topic_length{_length, 1});
    }
}

void message_stream_zmq_topics::remove_length(std::size_t _length) {
    const auto found = find_length(_length);
    if (--found->topics == 0) {
        m_topic_lengths.erase(found);
    }
}

std::vector<message_stream_zmq_topics::topic_length>::iterator
message_stream_zmq_topics::find_length(std::size_t _length) {
    return std::lower_bound(
        m_topic_lengths.begin(), m_topic_lengths.end(), _length,
        [](const topic_length& _entry, std::size_t _value) { return _entry.length < _value; });
}

void message_stream_zmq_topics::process_message(boost::string_view _message) {
    // By index, as a callback may subscribe to a topic of a new length, which inserts it here.
    for (std::size_t i = 0; i < m_topic_lengths.size(); ++i) {
        const std::size_t length = m_topic_lengths[i].length;
        if (length > _message.size()) {
            return;
        }
        m_lookup_key.assign(_message.data(), length);
        const auto found = m_callbacks.find(m_lookup_key);
        if (found == m_callbacks.end()) {
            continue;
        }
        // The list stays where it is while callbacks subscribe: the table's nodes do not move,
        // and topics are removed only on a later turn of the loop.
        callbacks_vector& callbacks = found->second;
        call_callbacks(callbacks, _message);
        remove_expired_callbacks(callbacks);
        if (m_topic_lengths[i].length != length) {
            // A shorter length came in: the one visited moved on.
            i = static_cast<std::size_t>(find_length(length) - m_topic_lengths.begin());
        }
    }
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
