#pragma once

#include <core/component_logger.h>
#include <core/impl/events_loop/callback_slot.h>
#include <core/tcp/socket.h>

#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/utility/string_view.hpp>

#include <cstddef>
#include <memory>

namespace zel {
namespace libs {
namespace core {
namespace tcp {

class socket_impl : public socket {
public:
    // On the io_context's own executor rather than Asio's type-erased one: 48 bytes less in
    // every connection.
    using stream = boost::asio::basic_stream_socket<boost::asio::ip::tcp,
                                                    boost::asio::io_context::executor_type>;

    // What pending completions need, which may outlive the socket; the callbacks live here so
    // that a completion can call them whatever became of the socket.
    struct shared_data {
        bool m_socket_alive = true;
        bool m_waiting_in_progress = false;
        detail::callback_slot<receive_callback> m_receive_callback;
        detail::callback_slot<close_callback> m_close_callback;
        detail::callback_slot<can_send_callback> m_can_send_callback;
    };

    // Blocks until the connection is made; failures throw boost::system::system_error.
    static socket::ptr connect(boost::asio::io_context& _io_context,
                               const component_logger& _logger,
                               boost::asio::mutable_buffer _receive_buffer,
                               boost::string_view _address, unsigned short _port);

    // Takes the connected _socket over and makes it non-blocking. It reads into
    // _receive_buffer, which the other sockets of the loop share, and delivers each read before
    // the next.
    socket_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                boost::asio::mutable_buffer _receive_buffer, stream _socket,
                const endpoint& _remote_endpoint);
    ~socket_impl() override;

    socket_impl(const socket_impl&) = delete;
    socket_impl& operator=(const socket_impl&) = delete;

    void set_close_callback(close_callback _callback) override;
    void set_receive_callback(receive_callback _callback) override;
    endpoint get_remote_endpoint() const override;
    void set_can_send_callback(can_send_callback _callback) override;
    void notify_that_send_is_possible() override;
    std::size_t send_some(message _message) override;

    // Arms one readiness wait, which reads what has arrived and re-arms the next.
    void setup_receive();

private:
    // Reads once and delivers it; the next read follows a readiness wait once the socket is
    // drained, or else its own turn of the loop.
    void receive(shared_data& _data);
    void receive_later();
    // Receiving has ended: an error other than the peer's orderly close or reset is logged with
    // _location, and the owner hears of it through the close callback either way.
    void end_of_stream(shared_data& _data, const boost::system::error_code& _error,
                       source_location _location);

    stream m_socket;
    // Kept from the start: the system no longer knows it once the connection has ended.
    const endpoint m_remote_endpoint;
    const component_logger& m_logger;
    const boost::asio::mutable_buffer m_receive_buffer;
    std::shared_ptr<shared_data> m_data;
};

}  // namespace tcp
}  // namespace core
}  // namespace libs
}  // namespace zel
