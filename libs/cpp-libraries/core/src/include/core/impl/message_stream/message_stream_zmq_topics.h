#pragma once

#include <core/component_logger.h>
#include <core/curve/client_keys.h>
#include <core/impl/message_stream/topic_trie.h>
#include <core/impl/zmq/connection_monitor.h>
#include <core/message_stream.h>

#include <azmq/socket.hpp>

#include <boost/asio/io_context.hpp>
#include <boost/utility/string_view.hpp>

#include <cstdint>
#include <memory>
#include <string>

namespace zel {
namespace libs {
namespace core {

// The SUB socket of a topic stream and the subscribers of each of its topics; the socket is
// subscribed to the first bytes of exactly the topics that have a node, the rest of a topic being
// compared here. Shared: a frame being dispatched holds it, so that a callback may destroy the
// stream; subscriptions, and the removals of topics they leave to the loop, hold it weakly, so
// that they may outlive it.
class message_stream_zmq_topics : public std::enable_shared_from_this<message_stream_zmq_topics> {
public:
    using callbacks_vector = topic_trie::callbacks_vector;

    // Throws boost::system::system_error when ZeroMQ refuses _address. With _keys, a CURVE
    // client; libzmq refusing them throws exception.
    message_stream_zmq_topics(boost::asio::io_context& _io_context, const component_logger& _logger,
                              const std::string& _address,
                              const curve::client_keys* _keys = nullptr);

    message_stream_zmq_topics(const message_stream_zmq_topics&) = delete;
    message_stream_zmq_topics& operator=(const message_stream_zmq_topics&) = delete;

    azmq::sub_socket& socket() { return m_socket; }

    // Replaces the callback told of connections; if the stream is connected already, it is told
    // so on the loop's next turn, unless a change reaches it first.
    void set_connection_callback(message_stream::connection_callback _callback);

    // Adds _callback to _topic's subscribers; the node returned stays until removed.
    topic_trie::node& add(boost::string_view _topic,
                          const std::weak_ptr<message_stream::callback>& _callback);

    // On a later turn of the loop, drops _topic's node and unsubscribes the socket from it,
    // unless someone subscribed to it again meanwhile.
    void remove_later(topic_trie::node& _topic);

    // Calls the subscribers of every topic that begins _message, shorter topics first. Of those
    // who subscribe meanwhile, only subscribers of a longer topic than the one being called may
    // get it. The stream may be gone once a callback has run: the caller holds the topics alive.
    void process_message(boost::string_view _message);

private:
    void on_connection_change(bool _connected);
    void remove_if_unused(topic_trie::node& _topic);
    static void call_callbacks(const callbacks_vector& _callbacks, boost::string_view _message);
    static void remove_expired_callbacks(callbacks_vector& _callbacks);

    topic_trie m_topics;
    azmq::sub_socket m_socket;
    const component_logger& m_logger;
    bool m_connected = false;
    // Counts the changes told, so that a late report of the state does not repeat one.
    std::uint64_t m_changes_told = 0;
    message_stream::connection_callback m_connection_callback;
    // Watches the socket from before it connects, so that no connection goes unseen; it goes
    // before the socket.
    connection_monitor m_monitor;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
