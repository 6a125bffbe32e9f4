#include <core/impl/tcp/acceptor_impl.h>

#include <core/impl/tcp/socket_impl.h>
#include <core/scope_guard.h>

#include <boost/asio/error.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/system/errc.hpp>

#include <chrono>
#include <string>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace tcp {
namespace {

socket::endpoint any_address(ip_protocol _protocol, unsigned short _port) {
    return _protocol == ip_protocol::v4 ? socket::endpoint(boost::asio::ip::tcp::v4(), _port)
                                        : socket::endpoint(boost::asio::ip::tcp::v6(), _port);
}

// Out of descriptors or memory: accepting at once would fail again at once.
bool is_shortage(const boost::system::error_code& _error) {
    return _error == boost::asio::error::no_descriptors ||
           _error == boost::system::errc::too_many_files_open_in_system ||
           _error == boost::asio::error::no_buffer_space || _error == boost::asio::error::no_memory;
}

}  // namespace

acceptor_impl::acceptor_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                             boost::asio::mutable_buffer _receive_buffer,
                             const socket::endpoint& _endpoint)
    : m_io_context(_io_context)
    , m_logger(_logger)
    , m_receive_buffer(_receive_buffer)
    , m_acceptor(_io_context, _endpoint, true)
    , m_retry_timer(_io_context)
    , m_data(std::make_shared<shared_data>()) {}

acceptor_impl::acceptor_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                             boost::asio::mutable_buffer _receive_buffer, ip_protocol _protocol,
                             unsigned short _port)
    : acceptor_impl(_io_context, _logger, _receive_buffer, any_address(_protocol, _port)) {}

acceptor_impl::acceptor_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                             boost::asio::mutable_buffer _receive_buffer,
                             boost::string_view _address, unsigned short _port)
    : acceptor_impl(_io_context, _logger, _receive_buffer,
                    socket::endpoint(boost::asio::ip::make_address(std::string(_address)), _port)) {
}

acceptor_impl::~acceptor_impl() {
    m_data->m_acceptor_alive = false;
}

void acceptor_impl::set_callback(callback _callback) {
    if (m_data->m_callback.install(std::move(_callback), "tcp::acceptor_impl::set_callback",
                                   ZEL_LOCATION)) {
        setup_accept();
    }
}

socket::endpoint acceptor_impl::local_endpoint() const {
    return m_acceptor.local_endpoint();
}

void acceptor_impl::setup_accept() {
    auto on_accept = [this, data = m_data](const boost::system::error_code& _error,
                                           socket_impl::stream _connection) {
        if (!data->m_acceptor_alive || _error == boost::asio::error::operation_aborted) {
            return;
        }
        if (_error) {
            // One client that went before it was accepted, or a moment out of descriptors,
            // must not silence the listener for good.
            m_logger.log_error(_error, ZEL_LOCATION);
            if (is_shortage(_error)) {
                setup_accept_later();
            } else {
                setup_accept();
            }
            return;
        }
        const auto rearm = make_scope_guard([this, &data = *data] {
            if (data.m_acceptor_alive) {
                setup_accept();
            }
        });
        data->m_callback(std::make_unique<socket_impl>(m_io_context, m_logger, m_receive_buffer,
                                                       std::move(_connection), data->m_peer));
    };
    m_acceptor.async_accept(m_io_context.get_executor(), m_data->m_peer, std::move(on_accept));
}

void acceptor_impl::setup_accept_later() {
    m_retry_timer.expires_after(std::chrono::milliseconds(50));
    m_retry_timer.async_wait([this, data = m_data](const boost::system::error_code& _error) {
        if (data->m_acceptor_alive && !_error) {
            setup_accept();
        }
    });
}

}  // namespace tcp
}  // namespace core
}  // namespace libs
}  // namespace zel
