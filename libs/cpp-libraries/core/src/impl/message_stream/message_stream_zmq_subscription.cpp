#include <core/impl/message_stream/message_stream_zmq_subscription.h>

#include <utility>

namespace zel {
namespace libs {
namespace core {

message_stream_zmq_subscription::message_stream_zmq_subscription(
    std::weak_ptr<message_stream_zmq_topics> _topics, topic_trie::node& _topic,
    std::shared_ptr<message_stream::callback> _callback)
    : m_topics(std::move(_topics)), m_topic(&_topic), m_callback(std::move(_callback)) {}

message_stream_zmq_subscription::~message_stream_zmq_subscription() {
    if (const auto topics = m_topics.lock()) {
        topics->remove_later(*m_topic);
    }
}

}  // namespace core
}  // namespace libs
}  // namespace zel
