#pragma once

#include <core/component_logger.h>
#include <core/tcp/manager.h>

#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>

#include <cstddef>
#include <memory>

namespace zel {
namespace libs {
namespace core {
namespace tcp {

class manager_impl : public manager {
public:
    manager_impl(boost::asio::io_context& _io_context, const component_logger& _logger);

    socket::ptr connect(boost::string_view _address, int _port) override;
    acceptor::ptr listen(ip_protocol _protocol, int _port) override;
    acceptor::ptr listen(boost::string_view _address, int _port) override;

private:
    // The most one read delivers. Shared, its size costs nothing per connection. A read that
    // fills it is followed by one more that may find nothing; senders often write 64 KiB at a
    // time, so 64 KiB would make that extra read the rule.
    static constexpr std::size_t receive_buffer_size = 256 * 1024;

    boost::asio::mutable_buffer receive_buffer() const;

    boost::asio::io_context& m_io_context;
    const component_logger& m_logger;
    // Every socket of the loop reads into it: callbacks run one at a time and the view a receive
    // callback gets lives only during its call, so an idle connection needs no buffer of its
    // own. Not filled at construction: pages no read reaches are never touched.
    std::unique_ptr<char[]> m_receive_buffer;
};

}  // namespace tcp
}  // namespace core
}  // namespace libs
}  // namespace zel
