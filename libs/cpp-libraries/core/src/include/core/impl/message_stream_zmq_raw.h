#pragma once

#include <core/component_logger.h>
#include <core/message_stream.h>

#include <azmq/socket.hpp>

#include <boost/asio/io_context.hpp>
#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace zel {
namespace libs {
namespace core {

// A SUB socket connected to a publisher. A topic is a byte prefix; each frame goes, whole,
// to the subscribers of the shortest subscribed topic that begins it.
class message_stream_zmq_raw : public message_stream {
public:
    using callbacks_vector = std::vector<std::weak_ptr<message_stream::callback>>;

    // Throws boost::system::system_error when ZeroMQ refuses _address; an absent publisher is
    // waited for (ZeroMQ connects, and reconnects, by itself).
    message_stream_zmq_raw(boost::asio::io_context& _io_context, const component_logger& _logger,
                           const std::string& _address);
    ~message_stream_zmq_raw() override;

    message_stream_zmq_raw(const message_stream_zmq_raw&) = delete;
    message_stream_zmq_raw& operator=(const message_stream_zmq_raw&) = delete;

    subscription::ptr subscribe(boost::string_view _topic, callback _callback) override;

private:
    // Topics are never unsubscribed: one without subscribers is still received. Hashed, as
    // the shortest topic that begins a frame is looked up by length, one lookup per distinct
    // topic length, rather than found by a walk through every topic.
    using topic_map = std::unordered_map<std::string, callbacks_vector>;

    void setup_receive();
    void process_message(boost::string_view _message);
    boost::optional<callbacks_vector&> find_callbacks(boost::string_view _message);
    static void call_callbacks(const callbacks_vector& _callbacks, boost::string_view _message);
    static void remove_expired_callbacks(callbacks_vector& _callbacks);

    std::shared_ptr<topic_map> m_callbacks;
    // The distinct lengths of the subscribed topics, ascending.
    std::vector<std::size_t> m_topic_lengths;
    // The beginning of a frame being looked up; kept, so that its storage is reused.
    std::string m_lookup_key;
    azmq::sub_socket m_socket;
    const component_logger& m_logger;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
