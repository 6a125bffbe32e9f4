#include <core/impl/zmq/socket_impl.h>

#include <core/exception.h>

#include <zmq.h>

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>

#include <cstddef>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace zmq {
namespace {

int native_type(socket::type _type) {
    switch (_type) {
        case socket::type::push:
            return ZMQ_PUSH;
        case socket::type::pull:
            return ZMQ_PULL;
        case socket::type::pub:
            return ZMQ_PUB;
        case socket::type::req:
            return ZMQ_REQ;
        case socket::type::rep:
            return ZMQ_REP;
    }
    // ZeroMQ refuses it, and azmq throws its error.
    return -1;
}

enum class opening { bind, connect };

// A socket of _type with _options on which the bind or connect to _address has been tried; its
// failure in _error. The options go first: ZeroMQ applies them to the connections made
// afterwards.
azmq::socket open(socket::type _type, boost::asio::io_context& _io_context,
                  const std::string& _address, const socket_options& _options, opening _opening,
                  boost::system::error_code& _error) {
    azmq::socket opened(_io_context, native_type(_type));
    if (_options.m_max_message_size) {
        opened.set_option(azmq::socket::max_message_size(*_options.m_max_message_size), _error);
    }
    if (!_error && _options.m_send_high_water_mark) {
        opened.set_option(azmq::socket::send_high_water_mark(*_options.m_send_high_water_mark),
                          _error);
    }
    if (!_error && _options.m_receive_high_water_mark) {
        opened.set_option(
            azmq::socket::receive_high_water_mark(*_options.m_receive_high_water_mark), _error);
    }
    if (!_error && _opening == opening::connect) {
        // Frames offered while no peer is connected are refused rather than queued for a peer
        // that may never come, and delivered stale if it does.
        opened.set_option(azmq::socket::immediate(true), _error);
    }
    if (!_error && _opening == opening::connect) {
        opened.connect(_address, _error);
    } else if (!_error) {
        opened.bind(_address, _error);
    }
    return opened;
}

// Arms the next receive when a delivery ends, on every way out, the callback's exception
// included, unless the callback destroyed the socket: frames go one at a time.
class rearm_on_exit {
public:
    rearm_on_exit(socket_impl& _socket, const socket_impl::shared_data& _data)
        : m_socket(_socket), m_data(_data) {}

    ~rearm_on_exit() {
        if (m_data.m_socket_alive) {
            m_socket.setup_receive();
        }
    }

    rearm_on_exit(const rearm_on_exit&) = delete;
    rearm_on_exit& operator=(const rearm_on_exit&) = delete;

private:
    socket_impl& m_socket;
    const socket_impl::shared_data& m_data;
};

}  // namespace

socket::ptr socket_impl::connect(socket::type _type, boost::asio::io_context& _io_context,
                                 const component_logger& _logger, std::string _address,
                                 const socket_options& _options) {
    boost::system::error_code error;
    auto opened = open(_type, _io_context, _address, _options, opening::connect, error);
    if (error) {
        throw exception("zmq::socket_impl::connect to " + _address + ": " + error.message(),
                        ZEL_LOCATION);
    }
    return std::make_unique<socket_impl>(_io_context, _logger, std::move(opened));
}

socket::ptr socket_impl::bind(socket::type _type, boost::asio::io_context& _io_context,
                              const component_logger& _logger, std::string _address,
                              const socket_options& _options) {
    boost::system::error_code error;
    auto opened = open(_type, _io_context, _address, _options, opening::bind, error);
    if (error) {
        throw exception("zmq::socket_impl::bind to " + _address + ": " + error.message(),
                        ZEL_LOCATION);
    }
    return std::make_unique<socket_impl>(_io_context, _logger, std::move(opened));
}

socket_impl::socket_impl(boost::asio::io_context&, const component_logger& _logger,
                         azmq::socket _socket)
    : m_socket(std::move(_socket)), m_logger(_logger), m_data(std::make_shared<shared_data>()) {}

socket_impl::~socket_impl() {
    m_data->m_socket_alive = false;
    boost::system::error_code error;
    m_socket.cancel(error);
    if (error) {
        m_logger.log_error(error, ZEL_LOCATION);
    }
}

void socket_impl::set_receive_callback(socket::callback _callback) {
    if (m_data->m_receive_callback.install(
            std::move(_callback), "zmq::socket_impl::set_receive_callback", ZEL_LOCATION)) {
        setup_receive();
    }
}

void socket_impl::send(message _message) {
    send(std::move(_message), flags::none);
}

void socket_impl::send(message _message, flags _flags) {
    m_socket.send(std::move(_message), static_cast<int>(_flags));
}

bool socket_impl::try_send(message _message) {
    return try_send(std::move(_message), flags::none);
}

bool socket_impl::try_send(message _message, flags _flags) {
    boost::system::error_code error;
    m_socket.send(std::move(_message), static_cast<int>(_flags) | ZMQ_DONTWAIT, error);
    if (error == boost::asio::error::would_block) {
        return false;
    }
    if (error) {
        throw boost::system::system_error(error, "try_send");
    }
    return true;
}

message socket_impl::receive_more() {
    message frame;
    m_socket.receive(frame);
    return frame;
}

void socket_impl::setup_receive() {
    m_socket.async_receive(
        [this, data = m_data](boost::system::error_code& _error, message& _frame, std::size_t) {
            if (!data->m_socket_alive || _error) {
                return;
            }
            const rearm_on_exit rearm(*this, *data);
            data->m_receive_callback(_frame);
        });
}

}  // namespace zmq
}  // namespace core
}  // namespace libs
}  // namespace zel
