#pragma once

#include <core/component_logger.h>
#include <core/impl/message_stream/message_stream_zmq_topics.h>
#include <core/message_stream.h>

#include <boost/asio/io_context.hpp>
#include <boost/utility/string_view.hpp>

#include <memory>
#include <string>

namespace zel {
namespace libs {
namespace core {

// A SUB socket connected to a publisher. A topic is a byte prefix; each frame goes, whole,
// to the subscribers of every subscribed topic that begins it.
class message_stream_zmq_raw : public message_stream {
public:
    // Throws boost::system::system_error when ZeroMQ refuses _address; an absent publisher is
    // waited for (ZeroMQ connects, and reconnects, by itself). With _keys, a CURVE client.
    message_stream_zmq_raw(boost::asio::io_context& _io_context, const component_logger& _logger,
                           const std::string& _address, const curve::client_keys* _keys = nullptr);
    ~message_stream_zmq_raw() override;

    message_stream_zmq_raw(const message_stream_zmq_raw&) = delete;
    message_stream_zmq_raw& operator=(const message_stream_zmq_raw&) = delete;

    subscription::ptr subscribe(boost::string_view _topic, callback _callback) override;
    void on_connection_change(connection_callback _callback) override;

private:
    void setup_receive();

    std::shared_ptr<message_stream_zmq_topics> m_topics;
    const component_logger& m_logger;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
