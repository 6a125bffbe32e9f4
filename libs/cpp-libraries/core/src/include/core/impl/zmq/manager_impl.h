#pragma once

#include <core/component_logger.h>
#include <core/zmq/manager.h>

#include <boost/asio/io_context.hpp>

namespace zel {
namespace libs {
namespace core {
namespace zmq {

class manager_impl : public manager {
public:
    manager_impl(boost::asio::io_context& _io_context, const component_logger& _logger);

    socket::ptr connect(socket::type _type, std::string _address) override;
    socket::ptr bind(socket::type _type, std::string _address) override;
    socket::ptr connect(socket::type _type, std::string _address,
                        const socket_options& _options) override;
    socket::ptr bind(socket::type _type, std::string _address,
                     const socket_options& _options) override;

private:
    boost::asio::io_context& m_io_context;
    const component_logger& m_logger;
};

}  // namespace zmq
}  // namespace core
}  // namespace libs
}  // namespace zel
