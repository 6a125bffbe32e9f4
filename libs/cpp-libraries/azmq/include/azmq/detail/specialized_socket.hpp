#pragma once

#include <azmq/socket.hpp>

#include <zmq.h>

#include <boost/asio/io_context.hpp>

namespace azmq {
namespace detail {

// A socket whose libzmq type is fixed by Type (ZMQ_PULL, ZMQ_PUB, ...).
template <int Type>
class specialized_socket : public socket {
public:
    explicit specialized_socket(boost::asio::io_context& _io_context,
                                bool _optimize_single_threaded = false)
        : socket(_io_context, Type, _optimize_single_threaded) {}
};

}  // namespace detail

using pub_socket = detail::specialized_socket<ZMQ_PUB>;
using sub_socket = detail::specialized_socket<ZMQ_SUB>;

}  // namespace azmq
