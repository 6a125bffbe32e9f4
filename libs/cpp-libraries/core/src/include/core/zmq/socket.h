#pragma once

#include <core/zmq/flags.h>
#include <core/zmq/message.h>

#include <functional>
#include <memory>

namespace zel {
namespace libs {
namespace core {
namespace zmq {

// A bound or connected ZeroMQ socket of an events loop. Received frames reach the callback
// one at a time, in order, on the loop's thread; the further frames of a multipart message
// can be read inside it with receive_more().
class socket {
public:
    enum class type {
        push = 0,
        pull = 1,
        pub = 2,
        req = 3,
        rep = 4,
    };

    using callback = std::function<void(message&)>;
    using ptr = std::unique_ptr<socket>;

    virtual ~socket() = default;

    // The first call starts receiving; later ones replace the callback, also from inside it
    // (the running one then stays whole until it returns). An empty callback is refused with
    // an exception and changes nothing.
    virtual void set_receive_callback(callback _callback) = 0;

    // Blocks until ZeroMQ takes the frame; failures throw boost::system::system_error.
    virtual void send(message _message) = 0;
    virtual void send(message _message, flags _flags) = 0;

    // Never blocks: false when ZeroMQ cannot take the frame now (the frame is dropped);
    // other failures throw boost::system::system_error.
    virtual bool try_send(message _message) = 0;
    virtual bool try_send(message _message, flags _flags) = 0;

    // The next frame, waiting for it: meant for the further frames of the message whose first
    // frame the callback holds, which are already there.
    virtual message receive_more() = 0;
};

}  // namespace zmq
}  // namespace core
}  // namespace libs
}  // namespace zel
