#pragma once

#include <boost/utility/string_view.hpp>

#include <functional>
#include <memory>

namespace zel {
namespace libs {
namespace core {

// Frames of a publisher, handed to the components subscribed to their topics on the events
// loop's thread, for as long as each holds its subscription. Every subscription reaches the
// publisher, also again after it restarts.
//
// A frame goes once to each subscriber of every subscribed topic that begins it (the empty topic
// begins every frame), shorter topics first, as ZeroMQ's own subscriptions do; a frame that no
// topic begins is dropped. Topics may be of any length and number: a frame costs the walk along
// its bytes that subscribed topics begin, and a call per delivery.
//
// A frame above 64 MiB is refused: ZeroMQ drops the publisher that sent it and does not connect
// to it again, so the stream receives nothing more.
// At most ZeroMQ's receive high-water mark (1,000) frames of at most 64 MiB wait for the loop;
// further frames wait at the publisher, which drops them past its own limit.
class message_stream {
public:
    // The view is valid only during the call.
    using callback = std::function<void(boost::string_view)>;
    using ptr = std::unique_ptr<message_stream>;

    // Destroying it ends the deliveries to its callback at once (a call under way finishes);
    // on the loop's next turn, the topic is unsubscribed from unless someone else holds a
    // subscription to it. It may outlive its stream.
    class subscription {
    public:
        using ptr = std::unique_ptr<subscription>;
        virtual ~subscription() = default;
    };

    virtual ~message_stream() = default;

    // An empty callback is refused with an exception and changes nothing.
    virtual subscription::ptr subscribe(boost::string_view _topic, callback _callback) = 0;

    // Told on the loop's thread, with true, each time the stream connects to its publisher, and
    // with false each time it loses it. Replaces any earlier callback; an empty one ends the
    // reports.
    using connection_callback = std::function<void(bool _connected)>;
    virtual void on_connection_change(connection_callback _callback) = 0;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
