#pragma once

#include <azmq/message.hpp>

#include <climits>
#include <cstddef>

namespace azmq {
namespace detail {

// The size of the frame zmq_msg_recv has just filled, from its return value: libzmq returns
// the size itself unless it exceeds INT_MAX, which saves asking for it again.
inline std::size_t frame_size(int _received, const message& _frame) {
    return _received < INT_MAX ? static_cast<std::size_t>(_received) : _frame.size();
}

}  // namespace detail
}  // namespace azmq
