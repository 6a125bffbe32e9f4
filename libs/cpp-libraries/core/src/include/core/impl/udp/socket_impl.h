#pragma once

#include <core/component_logger.h>
#include <core/impl/events_loop/callback_slot.h>
#include <core/ip_protocol.h>
#include <core/udp/socket.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <memory>
#include <string>
#include <vector>

namespace zel {
namespace libs {
namespace core {
namespace udp {

class socket_impl : public socket {
public:
    // What the pending wait needs, which may outlive the socket.
    struct shared_data {
        // Room for the largest UDP payload.
        std::vector<char> m_buffer = std::vector<char>(65536);
        bool m_socket_alive = true;
        detail::callback_slot<socket::callback> m_callback;
    };

    // Throws boost::system::system_error when the socket cannot be opened or bound.
    socket_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                endpoint _endpoint);
    // The any-address of _protocol.
    socket_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                ip_protocol _protocol, int _port);
    // _address is a literal address, never resolved.
    socket_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                const std::string& _address, int _port);
    ~socket_impl() override;

    socket_impl(const socket_impl&) = delete;
    socket_impl& operator=(const socket_impl&) = delete;

    void set_receive_callback(callback _callback) override;
    void send_to(const endpoint& _destination, const message& _message) override;
    void send_to(const boost::string_view& _address, int _port, const message& _message) override;
    endpoint make_endpoint(const boost::string_view& _address, int _port) const override;
    endpoint local_endpoint() const override;

    // Arms one readiness wait, which reads a datagram and re-arms the next.
    void setup_receive();

private:
    // Datagrams one turn delivers at most before it yields to the loop's other handlers,
    // unless their callbacks take a millisecond first (see azmq::turn_budget).
    static constexpr int batch_size = 64;

    // Delivers the datagrams queued, a turn's worth, then waits for more or, when the turn
    // ended with some left, comes back on the loop's next turn.
    void receive_turn();
    // Reads one datagram without blocking and hands it to the callback; false when none was
    // there (or reading failed, which is logged unless it would block or was interrupted).
    bool receive_datagram(shared_data& _data);

    boost::asio::io_context& m_io_context;
    boost::asio::ip::udp::socket m_socket;
    const component_logger& m_logger;
    std::shared_ptr<shared_data> m_data;
};

}  // namespace udp
}  // namespace core
}  // namespace libs
}  // namespace zel
