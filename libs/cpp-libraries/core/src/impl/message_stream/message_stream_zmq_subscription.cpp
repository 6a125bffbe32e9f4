#include <core/impl/message_stream/message_stream_zmq_subscription.h>

#include <utility>

namespace zel {
namespace libs {
namespace core {

message_stream_zmq_subscription::message_stream_zmq_subscription(
    std::weak_ptr<message_stream_zmq_topics> _topics, std::string _topic,
    std::shared_ptr<message_stream::callback> _callback)
    : m_topics(std::move(_topics)), m_topic(std::move(_topic)), m_callback(std::move(_callback)) {}

message_stream_zmq_subscription::~message_stream_zmq_subscription() {
    if (const auto topics = m_topics.lock()) {
        topics->remove_later(std::move(m_topic));
    }
}

}  // namespace core
}  // namespace libs
}  // namespace zel
