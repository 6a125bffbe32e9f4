#pragma once

#include <core/impl/message_stream/message_stream_zmq_topics.h>
#include <core/message_stream.h>

#include <memory>

namespace zel {
namespace libs {
namespace core {

// A subscription to a topic of a ZeroMQ stream. It may outlive the stream.
class message_stream_zmq_subscription : public message_stream::subscription {
public:
    message_stream_zmq_subscription(std::weak_ptr<message_stream_zmq_topics> _topics,
                                    topic_trie::node& _topic,
                                    std::shared_ptr<message_stream::callback> _callback);
    ~message_stream_zmq_subscription() override;

    message_stream_zmq_subscription(const message_stream_zmq_subscription&) = delete;
    message_stream_zmq_subscription& operator=(const message_stream_zmq_subscription&) = delete;

private:
    std::weak_ptr<message_stream_zmq_topics> m_topics;
    // Read only while the topics are there: the node then stays as long as the callback.
    topic_trie::node* m_topic;
    // The only strong reference: the topics hold weak ones.
    std::shared_ptr<message_stream::callback> m_callback;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
