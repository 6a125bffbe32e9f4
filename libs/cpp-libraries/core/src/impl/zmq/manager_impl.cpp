#include <core/impl/zmq/manager_impl.h>

#include <core/impl/zmq/socket_impl.h>

#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace zmq {

manager_impl::manager_impl(boost::asio::io_context& _io_context, const component_logger& _logger)
    : m_io_context(_io_context), m_logger(_logger) {}

socket::ptr manager_impl::connect(socket::type _type, std::string _address) {
    return connect(_type, std::move(_address), socket_options());
}

socket::ptr manager_impl::bind(socket::type _type, std::string _address) {
    return bind(_type, std::move(_address), socket_options());
}

socket::ptr manager_impl::connect(socket::type _type, std::string _address,
                                  const socket_options& _options) {
    return socket_impl::connect(_type, m_io_context, m_logger, std::move(_address), _options);
}

socket::ptr manager_impl::bind(socket::type _type, std::string _address,
                               const socket_options& _options) {
    return socket_impl::bind(_type, m_io_context, m_logger, std::move(_address), _options);
}

}  // namespace zmq
}  // namespace core
}  // namespace libs
}  // namespace zel
