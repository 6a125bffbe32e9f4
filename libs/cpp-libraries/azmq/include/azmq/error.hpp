#pragma once

#include <azmq/detail/zmq_error_category.hpp>

#include <zmq.h>

#include <boost/asio/error.hpp>
#include <boost/system/error_code.hpp>

#include <cerrno>

namespace azmq {

// The category of the errors libzmq reports through this binding.
inline const boost::system::error_category& error_category() {
    static const detail::zmq_error_category instance;
    return instance;
}

inline boost::system::error_code make_error_code(int _value) {
    return boost::system::error_code(_value, error_category());
}

namespace detail {

// The error of the libzmq call that has just failed. EAGAIN becomes Asio's would_block, so
// that a caller tests a non-blocking operation the way it tests any Asio socket.
inline boost::system::error_code last_error() {
    const int value = zmq_errno();
    if (value == EAGAIN) {
        return boost::asio::error::would_block;
    }
    return make_error_code(value);
}

}  // namespace detail
}  // namespace azmq
