#include <core/impl/message_stream/message_stream_zmq_raw.h>

#include <core/exception.h>
#include <core/impl/message_stream/message_stream_zmq_subscription.h>

#include <boost/asio/error.hpp>

#include <utility>

namespace zel {
namespace libs {
namespace core {

message_stream_zmq_raw::message_stream_zmq_raw(boost::asio::io_context& _io_context,
                                               const component_logger& _logger,
                                               const std::string& _address,
                                               const curve::client_keys* _keys)
    : m_topics(std::make_shared<message_stream_zmq_topics>(_io_context, _logger, _address, _keys))
    , m_logger(_logger) {
    setup_receive();
}

message_stream_zmq_raw::~message_stream_zmq_raw() {
    boost::system::error_code error;
    m_topics->socket().cancel(error);
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
    auto& topic = m_topics->add(_topic, callback_holder);
    return std::make_unique<message_stream_zmq_subscription>(m_topics, topic,
                                                             std::move(callback_holder));
}

void message_stream_zmq_raw::on_connection_change(connection_callback _callback) {
    m_topics->set_connection_callback(std::move(_callback));
}

void message_stream_zmq_raw::setup_receive() {
    m_topics->socket().async_receive(
        [weak_topics = std::weak_ptr<message_stream_zmq_topics>(m_topics), &logger = m_logger,
         this](boost::system::error_code& _error, azmq::message& _frame, std::size_t) {
            if (_error == boost::asio::error::operation_aborted) {
                return;
            }
            if (_error) {
                logger.log_error(_error, ZEL_LOCATION);
                return;
            }
            // Held to the end, so that a callback may destroy the stream.
            const auto topics = weak_topics.lock();
            if (!topics) {
                return;
            }
            setup_receive();
            topics->process_message(
                boost::string_view(static_cast<const char*>(_frame.data()), _frame.size()));
        });
}

}  // namespace core
}  // namespace libs
}  // namespace zel
