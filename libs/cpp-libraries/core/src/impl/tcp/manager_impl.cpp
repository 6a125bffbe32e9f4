#include <core/impl/tcp/manager_impl.h>

#include <core/impl/tcp/acceptor_impl.h>
#include <core/impl/tcp/socket_impl.h>

namespace zel {
namespace libs {
namespace core {
namespace tcp {

manager_impl::manager_impl(boost::asio::io_context& _io_context, const component_logger& _logger)
    : m_io_context(_io_context)
    , m_logger(_logger)
    , m_receive_buffer(new char[receive_buffer_size]) {}

socket::ptr manager_impl::connect(boost::string_view _address, int _port) {
    return socket_impl::connect(m_io_context, m_logger, receive_buffer(), _address,
                                static_cast<unsigned short>(_port));
}

acceptor::ptr manager_impl::listen(ip_protocol _protocol, int _port) {
    return std::make_unique<acceptor_impl>(m_io_context, m_logger, receive_buffer(), _protocol,
                                           static_cast<unsigned short>(_port));
}

acceptor::ptr manager_impl::listen(boost::string_view _address, int _port) {
    return std::make_unique<acceptor_impl>(m_io_context, m_logger, receive_buffer(), _address,
                                           static_cast<unsigned short>(_port));
}

boost::asio::mutable_buffer manager_impl::receive_buffer() const {
    return boost::asio::buffer(m_receive_buffer.get(), receive_buffer_size);
}

}  // namespace tcp
}  // namespace core
}  // namespace libs
}  // namespace zel
