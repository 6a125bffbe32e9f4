#pragma once

#include <azmq/error.hpp>

#include <zmq.h>

#include <boost/system/error_code.hpp>

#include <cerrno>
#include <cstddef>

namespace azmq {
namespace detail {

// ZMQ_EVENTS of the libzmq socket _handle. Reading it processes the commands in the socket's
// mailbox; a signal that interrupts that processing makes it read again.
inline int read_events(void* _handle, boost::system::error_code& _error) {
    int events = 0;
    std::size_t size = sizeof events;
    while (zmq_getsockopt(_handle, ZMQ_EVENTS, &events, &size) != 0) {
        if (zmq_errno() != EINTR) {
            _error = last_error();
            return 0;
        }
    }
    _error = {};
    return events;
}

}  // namespace detail
}  // namespace azmq
