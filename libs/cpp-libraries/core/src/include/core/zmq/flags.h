#pragma once

namespace zel {
namespace libs {
namespace core {
namespace zmq {

// Send flags, with ZeroMQ's own values so that they are passed on as they stand.
enum class flags : int {
    none = 0,
    sndmore = 2,  // ZMQ_SNDMORE: further frames of this message follow
};

}  // namespace zmq
}  // namespace core
}  // namespace libs
}  // namespace zel
