#include <core/impl/udp/socket_impl.h>

#include <core/scope_guard.h>

#include <azmq/turn_budget.hpp>

#include <boost/asio/error.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/socket_base.hpp>
#include <boost/system/error_code.hpp>

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace udp {
namespace {

endpoint any_address(ip_protocol _protocol, int _port) {
    const auto port = static_cast<unsigned short>(_port);
    return _protocol == ip_protocol::v4 ? endpoint(boost::asio::ip::udp::v4(), port)
                                        : endpoint(boost::asio::ip::udp::v6(), port);
}

endpoint literal_address(const boost::string_view& _address, int _port) {
    return endpoint(boost::asio::ip::make_address(std::string(_address)),
                    static_cast<unsigned short>(_port));
}

// The local IPv4 address of the IP_PKTINFO control message, or 0.0.0.0 without one (a datagram
// that came over IPv6).
boost::asio::ip::address_v4 local_address(msghdr& _header) {
    for (cmsghdr* message = CMSG_FIRSTHDR(&_header); message != nullptr;
         message = CMSG_NXTHDR(&_header, message)) {
        if (message->cmsg_level == IPPROTO_IP && message->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(message), sizeof info);
            return boost::asio::ip::address_v4(ntohl(info.ipi_spec_dst.s_addr));
        }
    }
    return boost::asio::ip::address_v4();
}

}  // namespace

socket_impl::socket_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                         endpoint _endpoint)
    : m_io_context(_io_context)
    , m_socket(_io_context, _endpoint)
    , m_logger(_logger)
    , m_data(std::make_shared<shared_data>()) {
    // Also on an IPv6 socket, which then reports it for the datagrams that came over IPv4.
    const int enabled = 1;
    setsockopt(m_socket.native_handle(), IPPROTO_IP, IP_PKTINFO, &enabled, sizeof enabled);
}

socket_impl::socket_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                         ip_protocol _protocol, int _port)
    : socket_impl(_io_context, _logger, any_address(_protocol, _port)) {}

socket_impl::socket_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                         const std::string& _address, int _port)
    : socket_impl(_io_context, _logger, literal_address(_address, _port)) {}

socket_impl::~socket_impl() {
    m_data->m_socket_alive = false;
}

void socket_impl::set_receive_callback(callback _callback) {
    if (m_data->m_callback.install(std::move(_callback), "udp::socket_impl::set_receive_callback",
                                   ZEL_LOCATION)) {
        setup_receive();
    }
}

void socket_impl::send_to(const endpoint& _destination, const message& _message) {
    m_socket.send_to(boost::asio::buffer(_message.data(), _message.size()), _destination);
}

void socket_impl::send_to(const boost::string_view& _address, int _port, const message& _message) {
    send_to(make_endpoint(_address, _port), _message);
}

endpoint socket_impl::make_endpoint(const boost::string_view& _address, int _port) const {
    return literal_address(_address, _port);
}

endpoint socket_impl::local_endpoint() const {
    return m_socket.local_endpoint();
}

void socket_impl::setup_receive() {
    m_socket.async_wait(
        boost::asio::socket_base::wait_read,
        [this, data = m_data](const boost::system::error_code& _error) {
            if (!data->m_socket_alive || _error == boost::asio::error::operation_aborted) {
                return;
            }
            if (_error) {
                m_logger.log_error(_error, ZEL_LOCATION);
                return;
            }
            receive_turn();
        });
}

void socket_impl::receive_turn() {
    const std::shared_ptr<shared_data> data = m_data;
    // The readiness wait reports only datagrams that arrive after it starts: it is armed once
    // the queue has been read empty, and a turn that ends before goes on through the loop.
    bool drained = false;
    const auto next = make_scope_guard([this, &data = *data, &drained] {
        if (!data.m_socket_alive) {
            return;
        }
        if (drained) {
            setup_receive();
        } else {
            boost::asio::post(m_io_context, [this, weak = std::weak_ptr<shared_data>(m_data)] {
                const auto data = weak.lock();
                if (data && data->m_socket_alive) {
                    receive_turn();
                }
            });
        }
    });
    // Datagrams already queued are read in the same turn, one callback after the other: a wait
    // per datagram would cost two more system calls each. The turn ends early when a callback
    // destroyed the socket or stopped the loop.
    azmq::turn_budget budget(batch_size);
    for (;;) {
        if (!receive_datagram(*data)) {
            drained = true;
            return;
        }
        if (!data->m_socket_alive || m_io_context.stopped() || !budget.spend()) {
            return;
        }
    }
}

bool socket_impl::receive_datagram(shared_data& _data) {
    sockaddr_storage sender{};
    union {
        cmsghdr align;
        char bytes[CMSG_SPACE(sizeof(in_pktinfo))];
    } control{};
    iovec payload{_data.m_buffer.data(), _data.m_buffer.size()};
    msghdr header{};
    header.msg_name = &sender;
    header.msg_namelen = sizeof sender;
    header.msg_iov = &payload;
    header.msg_iovlen = 1;
    header.msg_control = control.bytes;
    header.msg_controllen = sizeof control.bytes;
    // Never blocking: after a spurious wake-up, or a datagram someone else took, a blocking read
    // would hold the loop.
    const ssize_t length = recvmsg(m_socket.native_handle(), &header, MSG_DONTWAIT);
    if (length < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            m_logger.log_error(boost::system::error_code(errno, boost::system::system_category()),
                               ZEL_LOCATION);
        }
        return false;
    }
    // The sender straight from its socket address, IPv4 or IPv6 (IPv4 senders of an IPv6
    // socket come IPv4-mapped).
    endpoint from;
    const std::size_t size = std::min<std::size_t>(header.msg_namelen, from.capacity());
    std::memcpy(from.data(), &sender, size);
    from.resize(size);
    _data.m_callback(from, local_address(header),
                     boost::string_view(_data.m_buffer.data(), static_cast<std::size_t>(length)));
    return true;
}

}  // namespace udp
}  // namespace core
}  // namespace libs
}  // namespace zel
