#pragma once

#include <azmq/socket.hpp>

#include <boost/asio/io_context.hpp>

#include <string>

namespace azmq_test {

// A PUSH socket connected to a PULL socket over inproc, both on one io_context.
class inproc_pipe {
public:
    inproc_pipe(boost::asio::io_context& _io_context, const std::string& _name)
        : m_push(_io_context, ZMQ_PUSH), m_pull(_io_context, ZMQ_PULL) {
        m_pull.bind("inproc://" + _name);
        m_push.connect("inproc://" + _name);
    }

    azmq::socket& push() { return m_push; }
    azmq::socket& pull() { return m_pull; }

private:
    azmq::socket m_push;
    azmq::socket m_pull;
};

}  // namespace azmq_test
