#include <core/impl/tcp/socket_impl.h>

#include <core/scope_guard.h>

#include <boost/asio/buffer.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/socket_base.hpp>
#include <boost/system/system_error.hpp>

#include <sys/socket.h>

#include <string>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace tcp {
socket::ptr socket_impl::connect(boost::asio::io_context& _io_context,
                                 const component_logger& _logger,
                                 boost::asio::mutable_buffer _receive_buffer,
                                 boost::string_view _address, unsigned short _port) {
    const endpoint server(boost::asio::ip::make_address(std::string(_address)), _port);
    stream connection(_io_context);
    connection.connect(server);
    return std::make_unique<socket_impl>(_io_context, _logger, _receive_buffer,
                                         std::move(connection), server);
}

socket_impl::socket_impl(boost::asio::io_context&, const component_logger& _logger,
                         boost::asio::mutable_buffer _receive_buffer, stream _socket,
                         const endpoint& _remote_endpoint)
    : m_socket(std::move(_socket))
    , m_remote_endpoint(_remote_endpoint)
    , m_logger(_logger)
    , m_receive_buffer(_receive_buffer)
    , m_data(std::make_shared<shared_data>()) {
    m_socket.non_blocking(true);
}

socket_impl::~socket_impl() {
    m_data->m_socket_alive = false;
}

void socket_impl::set_close_callback(close_callback _callback) {
    m_data->m_close_callback.set(std::move(_callback));
}

void socket_impl::set_receive_callback(receive_callback _callback) {
    if (m_data->m_receive_callback.install(
            std::move(_callback), "tcp::socket_impl::set_receive_callback", ZEL_LOCATION)) {
        setup_receive();
    }
}

socket::endpoint socket_impl::get_remote_endpoint() const {
    return m_remote_endpoint;
}

void socket_impl::set_can_send_callback(can_send_callback _callback) {
    m_data->m_can_send_callback.set(std::move(_callback));
}

void socket_impl::notify_that_send_is_possible() {
    if (m_data->m_waiting_in_progress) {
        return;
    }
    m_socket.async_wait(boost::asio::socket_base::wait_write,
                        [data = m_data](const boost::system::error_code& _error) {
                            if (!data->m_socket_alive) {
                                return;
                            }
                            data->m_waiting_in_progress = false;
                            if (_error) {
                                throw boost::system::system_error(_error);
                            }
                            if (!data->m_can_send_callback.empty()) {
                                data->m_can_send_callback();
                            }
                        });
    m_data->m_waiting_in_progress = true;
}

std::size_t socket_impl::send_some(message _message) {
    if (_message.empty()) {
        return 0;
    }
    boost::system::error_code error;
    const std::size_t sent =
        m_socket.send(boost::asio::buffer(_message.data(), _message.size()), MSG_NOSIGNAL, error);
    if (error == boost::asio::error::would_block) {
        return 0;
    }
    if (error) {
        throw boost::system::system_error(error, "send_some");
    }
    return sent;
}

void socket_impl::setup_receive() {
    m_socket.async_wait(
        boost::asio::socket_base::wait_read,
        [this, data = m_data](const boost::system::error_code& _error) {
            if (!data->m_socket_alive || _error == boost::asio::error::operation_aborted) {
                return;
            }
            if (_error) {
                end_of_stream(*data, _error, ZEL_LOCATION);
                return;
            }
            receive(*data);
        });
}

void socket_impl::receive(shared_data& _data) {
    boost::system::error_code error;
    const std::size_t size = m_socket.read_some(m_receive_buffer, error);
    if (error == boost::asio::error::would_block || error == boost::asio::error::interrupted) {
        // A wake-up with nothing to read after all.
        setup_receive();
        return;
    }
    if (error) {
        end_of_stream(_data, error, ZEL_LOCATION);
        return;
    }
    // A full buffer may have left bytes behind: reading on at a later turn needs no readiness
    // wait, and the other handlers of the loop run first.
    const bool drained = size < m_receive_buffer.size();
    const auto rearm = make_scope_guard([this, &_data, drained] {
        if (!_data.m_socket_alive) {
            return;
        }
        if (drained) {
            setup_receive();
        } else {
            receive_later();
        }
    });
    _data.m_receive_callback(
        boost::string_view(static_cast<const char*>(m_receive_buffer.data()), size));
}

void socket_impl::receive_later() {
    boost::asio::post(m_socket.get_executor(), [this, data = m_data] {
        if (data->m_socket_alive) {
            receive(*data);
        }
    });
}

void socket_impl::end_of_stream(shared_data& _data, const boost::system::error_code& _error,
                                source_location _location) {
    // A reset ends the connection as surely as an orderly close: the owner is told the same
    // way, so that it does not keep a dead connection. Peers reset as they please, which is no
    // fault here, and a storm of resets must not flood the log.
    if (_error == boost::asio::error::connection_reset) {
        m_logger.debug("%1%: %2%") % m_remote_endpoint % _error.message();
    } else if (_error != boost::asio::error::eof) {
        m_logger.log_error(_error, _location);
    }
    if (!_data.m_close_callback.empty()) {
        _data.m_close_callback();
    }
}

}  // namespace tcp
}  // namespace core
}  // namespace libs
}  // namespace zel
