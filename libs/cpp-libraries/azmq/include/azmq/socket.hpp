#pragma once

#include <azmq/detail/binary_option.hpp>
#include <azmq/detail/endpoint.hpp>
#include <azmq/detail/frame_size.hpp>
#include <azmq/detail/integer_option.hpp>
#include <azmq/detail/ipc_path.hpp>
#include <azmq/detail/read_events.hpp>
#include <azmq/detail/receive_handler_operation.hpp>
#include <azmq/detail/socket_state.hpp>
#include <azmq/error.hpp>
#include <azmq/message.hpp>

#include <zmq.h>

#include <boost/asio/io_context.hpp>
#include <boost/system/error_code.hpp>
#include <boost/system/system_error.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

namespace azmq {

// A ZeroMQ socket whose receives complete on a Boost.Asio io_context.
//
// Every operation takes the socket's own mutex unless the socket was made with
// _optimize_single_threaded, in which case all its operations and the io_context's run() must
// stay on one thread. Operations report libzmq's errors in azmq::error_category(), except
// EAGAIN, reported as boost::asio::error::would_block, and cancellation, reported as
// boost::asio::error::operation_aborted.
//
// Endpoints are checked before libzmq sees them: text it would read as another endpoint (a NUL
// byte, a TCP port above 65535) is refused with EINVAL; binding an ipc path where something
// already is fails with EADDRINUSE unless it is a socket nobody listens on any more; IPv6
// literals in TCP endpoints work.
//
// The io_context must outlive the socket. Destroying the socket completes its pending receives
// with operation_aborted, through the io_context.
class socket {
public:
    using executor_type = boost::asio::io_context::executor_type;
    using native_handle_type = void*;
    using subscribe = detail::binary_option<ZMQ_SUBSCRIBE>;
    using unsubscribe = detail::binary_option<ZMQ_UNSUBSCRIBE>;
    // Inbound messages above this size (a frame, or a subscription on a PUB socket) make libzmq
    // close the connection they came over, as a protocol error: a peer that connected may
    // connect again, but a socket that connected does not. Set before bind or connect.
    using max_message_size = detail::integer_option<ZMQ_MAXMSGSIZE, std::int64_t>;
    // Messages queued for each peer, before sending blocks or drops, as the socket type has it
    // (a SUB socket drops subscriptions); 0: no limit. Set before bind or connect.
    using send_high_water_mark = detail::integer_option<ZMQ_SNDHWM, int>;
    // Messages received from each peer that wait to be read, before libzmq stops reading from
    // it. Set before bind or connect.
    using receive_high_water_mark = detail::integer_option<ZMQ_RCVHWM, int>;
    // 1: messages are queued only for connections made, not for those still being attempted.
    // Set before connect.
    using immediate = detail::integer_option<ZMQ_IMMEDIATE, int>;
    // Milliseconds libzmq goes on sending, once the socket is closed, what it holds for connected
    // peers; the process's last libzmq context waits for it at exit. Unset, a closed socket drops
    // it at once, so that no peer that has stopped reading can hold an exit.
    using linger = detail::integer_option<ZMQ_LINGER, int>;
    // The I/O threads of the shared context that may serve the socket's connections, bit i for
    // thread i (below detail::context::io_threads); 0, the default: whichever serves fewest.
    // Set before bind or connect.
    using affinity = detail::integer_option<ZMQ_AFFINITY, std::uint64_t>;

    // _type is a libzmq socket type (ZMQ_PULL, ZMQ_PUB, ...); an unknown one throws.
    socket(boost::asio::io_context& _io_context, int _type, bool _optimize_single_threaded = false)
        : m_state(std::make_shared<detail::socket_state>(_io_context, _type,
                                                         _optimize_single_threaded)) {}

    socket(socket&&) noexcept = default;

    socket& operator=(socket&& _other) noexcept {
        if (this != &_other) {
            close();
            m_state = std::move(_other.m_state);
        }
        return *this;
    }

    ~socket() { close(); }

    void bind(const std::string& _endpoint) {
        boost::system::error_code error;
        bind(_endpoint, error);
        throw_if(error, "bind");
    }

    void bind(const std::string& _endpoint, boost::system::error_code& _error) {
        _error = detail::check_endpoint(_endpoint);
        if (!_error) {
            _error = detail::check_ipc_path_is_free(_endpoint);
        }
        if (!_error) {
            _error = call_with_endpoint(&zmq_bind, _endpoint);
        }
    }

    // Stops listening on _endpoint, as bound or as last_endpoint() tells it, and closes the
    // connections accepted there: what they had delivered to the socket stays to be received.
    void unbind(const std::string& _endpoint, boost::system::error_code& _error) {
        _error = call_with_endpoint(&zmq_unbind, _endpoint);
    }

    void connect(const std::string& _endpoint) {
        boost::system::error_code error;
        connect(_endpoint, error);
        throw_if(error, "connect");
    }

    void connect(const std::string& _endpoint, boost::system::error_code& _error) {
        _error = detail::check_endpoint(_endpoint);
        if (!_error) {
            _error = call_with_endpoint(&zmq_connect, _endpoint);
        }
    }

    // The endpoint of the last bind or connect as libzmq resolved it: a wildcard TCP port as the
    // port it took.
    std::string last_endpoint() {
        std::string endpoint;
        boost::system::error_code error = m_state->call([&](void* _handle) {
            char text[512];
            std::size_t size = sizeof text;
            if (zmq_getsockopt(_handle, ZMQ_LAST_ENDPOINT, text, &size) != 0) {
                return detail::last_error();
            }
            endpoint = text;
            return boost::system::error_code();
        });
        throw_if(error, "last_endpoint");
        return endpoint;
    }

    template <typename Option>
    void set_option(const Option& _option) {
        boost::system::error_code error;
        set_option(_option, error);
        throw_if(error, "set_option");
    }

    template <typename Option>
    void set_option(const Option& _option, boost::system::error_code& _error) {
        _error = m_state->call([&](void* _handle) {
            return zmq_setsockopt(_handle, _option.name(), _option.data(), _option.size()) == 0
                       ? boost::system::error_code()
                       : detail::last_error();
        });
    }

    // Sends _message itself: libzmq takes its content over and leaves it empty. On failure
    // the message keeps its content. Returns the frame's size. _flags: ZMQ_SNDMORE,
    // ZMQ_DONTWAIT.
    std::size_t send(message&& _message, int _flags = 0) {
        boost::system::error_code error;
        const std::size_t size = send(std::move(_message), _flags, error);
        throw_if(error, "send");
        return size;
    }

    std::size_t send(message&& _message, int _flags, boost::system::error_code& _error) {
        return m_state->call([&](void* _handle) -> std::size_t {
            const std::size_t size = _message.size();
            if (zmq_msg_send(_message.native_handle(), _handle, _flags) < 0) {
                _error = detail::last_error();
                return 0;
            }
            _error = {};
            return size;
        });
    }

    // Sends a frame sharing _message's content, which stays intact: libzmq counts references
    // to content outside the frame and copies only the few bytes it keeps inside.
    std::size_t send(const message& _message, int _flags = 0) {
        boost::system::error_code error;
        const std::size_t size = send(_message, _flags, error);
        throw_if(error, "send");
        return size;
    }

    std::size_t send(const message& _message, int _flags, boost::system::error_code& _error) {
        message copy;
        // zmq_msg_copy only marks the source's content as shared.
        if (zmq_msg_copy(copy.native_handle(), const_cast<zmq_msg_t*>(_message.native_handle())) !=
            0) {
            _error = detail::last_error();
            return 0;
        }
        return send(std::move(copy), _flags, _error);
    }

    // Receives one frame into _message, blocking unless _flags holds ZMQ_DONTWAIT. Returns the
    // frame's size; _message.more() tells whether further frames of its message follow.
    std::size_t receive(message& _message, int _flags = 0) {
        boost::system::error_code error;
        const std::size_t size = receive(_message, _flags, error);
        throw_if(error, "receive");
        return size;
    }

    std::size_t receive(message& _message, int _flags, boost::system::error_code& _error) {
        return m_state->call([&](void* _handle) -> std::size_t {
            const int size = zmq_msg_recv(_message.native_handle(), _handle, _flags);
            if (size < 0) {
                _error = detail::last_error();
                return 0;
            }
            _error = {};
            return detail::frame_size(size, _message);
        });
    }

    // Receives one frame asynchronously. _handler is called as
    // _handler(boost::system::error_code& error, azmq::message& frame, std::size_t bytes) on
    // its associated executor (by default this socket's io_context), never inside this call.
    // Receives complete in the order they were started. On a REQ or REP socket a receive
    // started before the send it must follow waits for that send instead of failing.
    template <typename ReadHandler>
    void async_receive(ReadHandler&& _handler, int _flags = 0) {
        using handler_type = std::decay_t<ReadHandler>;
        static_assert(
            std::is_invocable_v<handler_type&, boost::system::error_code&, message&, std::size_t>,
            "the handler must be callable as (error_code&, azmq::message&, size_t)");
        m_state->start_receive(detail::receive_handler_operation<handler_type>::create(
            std::forward<ReadHandler>(_handler), _flags));
    }

    // The socket's readiness as libzmq's ZMQ_EVENTS tells it: ZMQ_POLLIN when a frame can be
    // received without blocking, ZMQ_POLLOUT when one can be sent. Reading it processes the
    // commands that have reached the socket, which sending does only about once a millisecond: a
    // socket that sends without pause reads it to learn the room its peers have made.
    int events() {
        boost::system::error_code error;
        const int events = this->events(error);
        throw_if(error, "events");
        return events;
    }

    int events(boost::system::error_code& _error) {
        return m_state->call([&](void* _handle) { return detail::read_events(_handle, _error); });
    }

    // libzmq tells a socket how far each peer has read, and of peers that came or went, by
    // commands it processes only inside calls on the socket; sending processes them at most
    // about once a millisecond. A socket that only sends therefore takes a peer's queue for
    // full long after the peer has made room: a PUB socket drops frames for that subscriber,
    // a non-blocking send on a PUSH socket fails with EAGAIN. Enabled, the socket processes its
    // commands as they arrive, through the io_context, also while no receive is pending, and its
    // descriptor wait then keeps the io_context's run() from returning until the socket is
    // closed or this is disabled.
    void process_commands_on_arrival(bool _enabled = true) {
        m_state->process_commands_on_arrival(_enabled);
    }

    // Completes the pending receives that wait for a frame with operation_aborted; one that
    // already holds its frame is delivered with it rather than losing the frame.
    void cancel() {
        boost::system::error_code error;
        cancel(error);
        throw_if(error, "cancel");
    }

    void cancel(boost::system::error_code& _error) { m_state->cancel(_error); }

    // The libzmq socket. Calls made on it directly bypass the readiness tracking: a receive
    // pending meanwhile may then wait for the next frame's arrival.
    native_handle_type native_handle() const noexcept { return m_state->handle(); }

    executor_type get_executor() const noexcept { return m_state->executor(); }

    boost::asio::io_context& get_io_context() const noexcept {
        return m_state->executor().context();
    }

private:
    boost::system::error_code call_with_endpoint(int (*_function)(void*, const char*),
                                                 const std::string& _endpoint) {
        return m_state->call([&](void* _handle) {
            const int ipv6 = 1;
            if (detail::is_ipv6_tcp_endpoint(_endpoint) &&
                zmq_setsockopt(_handle, ZMQ_IPV6, &ipv6, sizeof ipv6) != 0) {
                return detail::last_error();
            }
            return _function(_handle, _endpoint.c_str()) == 0 ? boost::system::error_code()
                                                              : detail::last_error();
        });
    }

    static void throw_if(const boost::system::error_code& _error, const char* _what) {
        if (_error) {
            throw boost::system::system_error(_error, _what);
        }
    }

    void close() noexcept {
        if (m_state) {
            m_state->close();
        }
    }

    std::shared_ptr<detail::socket_state> m_state;
};

}  // namespace azmq

// The sockets of a fixed type (pub_socket, sub_socket, ...) come with the socket itself.
#include <azmq/detail/specialized_socket.hpp>
