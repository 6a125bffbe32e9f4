#pragma once

#include <core/component_logger.h>
#include <core/impl/events_loop/callback_slot.h>
#include <core/zmq/socket.h>
#include <core/zmq/socket_options.h>

#include <azmq/socket.hpp>

#include <boost/asio/io_context.hpp>

#include <memory>
#include <string>

namespace zel {
namespace libs {
namespace core {
namespace zmq {

class socket_impl : public socket {
public:
    // What the pending receive needs, which may outlive the socket: a completion that finds
    // the socket gone does nothing.
    struct shared_data {
        bool m_socket_alive = true;
        detail::callback_slot<socket::callback> m_receive_callback;
    };

    static socket::ptr connect(socket::type _type, boost::asio::io_context& _io_context,
                               const component_logger& _logger, std::string _address,
                               const socket_options& _options = socket_options());
    static socket::ptr bind(socket::type _type, boost::asio::io_context& _io_context,
                            const component_logger& _logger, std::string _address,
                            const socket_options& _options = socket_options());

    socket_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                azmq::socket _socket);
    ~socket_impl() override;

    socket_impl(const socket_impl&) = delete;
    socket_impl& operator=(const socket_impl&) = delete;

    void set_receive_callback(socket::callback _callback) override;
    void send(message _message) override;
    void send(message _message, flags _flags) override;
    bool try_send(message _message) override;
    bool try_send(message _message, flags _flags) override;
    message receive_more() override;

    // Arms one asynchronous receive, which re-arms the next once the callback has returned.
    void setup_receive();

private:
    azmq::socket m_socket;
    const component_logger& m_logger;
    std::shared_ptr<shared_data> m_data;
};

}  // namespace zmq
}  // namespace core
}  // namespace libs
}  // namespace zel
