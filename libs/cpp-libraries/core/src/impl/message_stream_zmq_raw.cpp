#include <core/impl/message_stream_zmq_raw.h>

#include <core/exception.h>

#include <boost/asio/error.hpp>

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

class subscription_impl : public message_stream::subscription {
public:
    explicit subscription_impl(std::shared_ptr<message_stream::callback> _callback)
        : m_callback(std::move(_callback)) {}

private:
    // The only strong reference: the stream holds weak ones.
    std::shared_ptr<message_stream::callback> m_callback;
};

}  // namespace

message_stream_zmq_raw::message_stream_zmq_raw(boost::asio::io_context& _io_context,
                                               const component_logger& _logger,
                                               const std::string& _address)
    : m_callbacks(std::make_shared<topic_map>()), m_socket(_io_context), m_logger(_logger) {
    m_socket.set_option(azmq::socket::send_high_water_mark(no_send_limit));
    m_socket.set_option(azmq::socket::max_message_size(max_frame_size));
    m_socket.connect(_address);
    setup_receive();
}

message_stream_zmq_raw::~message_stream_zmq_raw() {
    boost::system::error_code error;
    m_socket.cancel(error);
    if (error) {
        m_logger.log_error(error, ZEL_LOCATION);
    }
}

message_stream::subscription::ptr message_stream_zmq_raw::subscribe(boost::string_view _topic,
                                                                    callback _callback) {
    if (!_callback) {
        throw exception("message_stream_zmq_raw::subscribe: the callback is empty", ZEL_LOCATION);
    }
    auto callback_holder = std::make_shared<message_stream::callback>(std::move(_callback));
    std::string topic(_topic);
    auto found = m_callbacks->find(topic);
    if (found == m_callbacks->end()) {
        m_socket.set_option(azmq::socket::subscribe(topic));
        found = m_callbacks->emplace(std::move(topic), callbacks_vector()).first;
        const auto length =
            std::lower_bound(m_topic_lengths.begin(), m_topic_lengths.end(), _topic.size());
        if (length == m_topic_lengths.end() || *length != _topic.size()) {
            m_topic_lengths.insert(length, _topic.size());
        }
    }
    found->second.push_back(callback_holder);
    return std::make_unique<subscription_impl>(std::move(callback_holder));
}

void message_stream_zmq_raw::setup_receive() {
    m_socket.async_receive([weak_callbacks = std::weak_ptr<topic_map>(m_callbacks),
                            &logger = m_logger, this](boost::system::error_code& _error,
                                                      azmq::message& _frame, std::size_t) {
        if (_error == boost::asio::error::operation_aborted) {
            return;
        }
        if (_error) {
            logger.log_error(_error, ZEL_LOCATION);
            return;
        }
        // Held to the end, so that a callback may destroy the stream.
        const auto callbacks = weak_callbacks.lock();
        if (!callbacks) {
            return;
        }
        setup_receive();
        process_message(boost::string_view(static_cast<const char*>(_frame.data()), _frame.size()));
    });
}

void message_stream_zmq_raw::process_message(boost::string_view _message) {
    const auto callbacks = find_callbacks(_message);
    if (!callbacks) {
        return;
    }
    // The stream may be gone once a callback has run: only the list is used from here on,
    // and the map that holds it is kept alive by the receive handler.
    callbacks_vector& list = *callbacks;
    call_callbacks(list, _message);
    remove_expired_callbacks(list);
}

boost::optional<message_stream_zmq_raw::callbacks_vector&> message_stream_zmq_raw::find_callbacks(
    boost::string_view _message) {
    for (const std::size_t length : m_topic_lengths) {
        if (length > _message.size()) {
            break;
        }
        m_lookup_key.assign(_message.data(), length);
        const auto found = m_callbacks->find(m_lookup_key);
        if (found != m_callbacks->end()) {
            return found->second;
        }
    }
    return boost::none;
}

void message_stream_zmq_raw::call_callbacks(const callbacks_vector& _callbacks,
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

void message_stream_zmq_raw::remove_expired_callbacks(callbacks_vector& _callbacks) {
    _callbacks.erase(std::remove_if(_callbacks.begin(), _callbacks.end(),
                                    [](const auto& _callback) { return _callback.expired(); }),
                     _callbacks.end());
}

}  // namespace core
}  // namespace libs
}  // namespace zel
