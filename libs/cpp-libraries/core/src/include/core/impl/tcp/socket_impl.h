#pragma once

#include <core/component_logger.h>
#include <core/impl/callback_slot.h>
#include <core/tcp/socket.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/utility/string_view.hpp>

#include <cstddef>
#include <memory>
#include <vector>

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
        // Sized when data first arrives: an idle connection holds no buffer.
        std::vector<char> m_buffer;
        bool m_socket_alive = true;
        bool m_waiting_in_progress = false;
        detail::callback_slot<receive_callback> m_receive_callback;
        detail::callback_slot<close_callback> m_close_callback;
        detail::callback_slot<can_send_callback> m_can_send_callback;
    };

    // The most one read delivers.
    static constexpr std::size_t buffer_size = 65536;

    // Blocks until the connection is made; failures throw boost::system::system_error.
    static socket::ptr connect(boost::asio::io_context& _io_context,
                               const component_logger& _logger, boost::string_view _address,
                               unsigned short _port);

    // Takes the connected _socket over and makes it non-blocking.
    socket_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                stream _socket);
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
    void receive(shared_data& _data);
    // Receiving has ended: an error other than the peer's orderly close is logged with
    // _location, and the owner hears of it through the close callback either way.
    void end_of_stream(shared_data& _data, const boost::system::error_code& _error,
                       source_location _location);

    stream m_socket;
    const component_logger& m_logger;
    std::shared_ptr<shared_data> m_data;
};

}  // namespace tcp
}  // namespace core
}  // namespace libs
}  // namespace zel
