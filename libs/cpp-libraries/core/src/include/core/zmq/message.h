#pragma once

#include <azmq/message.hpp>

namespace zel {
namespace libs {
namespace core {
namespace zmq {

// One ZeroMQ frame; more() tells whether further frames of its message follow.
using message = azmq::message;

}  // namespace zmq
}  // namespace core
}  // namespace libs
}  // namespace zel
