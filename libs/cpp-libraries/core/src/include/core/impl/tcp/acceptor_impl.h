#pragma once

#include <core/component_logger.h>
#include <core/impl/events_loop/callback_slot.h>
#include <core/ip_protocol.h>
#include <core/tcp/acceptor.h>

#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/utility/string_view.hpp>

#include <memory>

namespace zel {
namespace libs {
namespace core {
namespace tcp {

class acceptor_impl : public acceptor {
public:
    // What the pending accept needs, which may outlive the acceptor.
    struct shared_data {
        bool m_acceptor_alive = true;
        detail::callback_slot<callback> m_callback;
        // Where the pending accept writes the peer's address.
        socket::endpoint m_peer;
    };

    // Listens on _endpoint with address reuse; failures throw boost::system::system_error.
    // The accepted sockets read into _receive_buffer, which they share.
    acceptor_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                  boost::asio::mutable_buffer _receive_buffer, const socket::endpoint& _endpoint);
    // The any-address of _protocol.
    acceptor_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                  boost::asio::mutable_buffer _receive_buffer, ip_protocol _protocol,
                  unsigned short _port);
    // _address is a literal address, never resolved.
    acceptor_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                  boost::asio::mutable_buffer _receive_buffer, boost::string_view _address,
                  unsigned short _port);
    ~acceptor_impl() override;

    acceptor_impl(const acceptor_impl&) = delete;
    acceptor_impl& operator=(const acceptor_impl&) = delete;

    void set_callback(callback _callback) override;
    socket::endpoint local_endpoint() const override;

    // Arms one accept, which re-arms the next.
    void setup_accept();

private:
    void setup_accept_later();

    boost::asio::io_context& m_io_context;
    const component_logger& m_logger;
    boost::asio::mutable_buffer m_receive_buffer;
    boost::asio::ip::tcp::acceptor m_acceptor;
    // Paces the accepts after a shortage of descriptors or memory.
    boost::asio::steady_timer m_retry_timer;
    std::shared_ptr<shared_data> m_data;
};

}  // namespace tcp
}  // namespace core
}  // namespace libs
}  // namespace zel
