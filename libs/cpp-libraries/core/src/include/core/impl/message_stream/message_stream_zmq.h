#pragma once

#include <core/impl/message_stream/message_stream_zmq_raw.h>

namespace zel {
namespace libs {
namespace core {

// A stream of frames that carry a topic and then a JSON object: a topic that begins with a
// letter is sent as "#" + topic, and subscribers get the frame from its first "{" on (frames
// without one are dropped for them).
class message_stream_zmq : public message_stream {
public:
    message_stream_zmq(boost::asio::io_context& _io_context, const component_logger& _logger,
                       const std::string& _address, const curve::client_keys* _keys = nullptr);

    subscription::ptr subscribe(boost::string_view _topic, callback _callback) override;
    void on_connection_change(connection_callback _callback) override;

private:
    message_stream_zmq_raw m_stream_zmq_raw;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
