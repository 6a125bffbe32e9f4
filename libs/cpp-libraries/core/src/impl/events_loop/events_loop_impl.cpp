#include <core/impl/events_loop/events_loop_impl.h>

#include <core/impl/events_loop/signals_handle_impl.h>
#include <core/impl/http/client_impl.h>
#include <core/impl/message_stream/message_stream_zmq.h>
#include <core/impl/message_stream/message_stream_zmq_raw.h>
#include <core/impl/redis/context_impl.h>
#include <core/impl/tcp/manager_impl.h>
#include <core/impl/timers/timers_manager_impl.h>
#include <core/impl/udp/socket_impl.h>
#include <core/impl/zmq/manager_impl.h>
#include <core/message_stream_options.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>

#include <chrono>

namespace zel {
namespace libs {
namespace core {

events_loop_impl::events_loop_impl(core& _core, const component_logger& _logger)
    : m_core(_core)
    , m_io_context()
    , m_logger(_logger)
    , m_timers(std::make_unique<timers_manager_impl>(*this, m_logger))
    , m_tcp(std::make_unique<tcp::manager_impl>(m_io_context, m_logger))
    , m_zmq(std::make_unique<zmq::manager_impl>(m_io_context, m_logger)) {}

events_loop_impl::~events_loop_impl() {
    // Completions still queued (cancelled receives, last sends) get their turn,
    // but a completion that never comes must not hold the process forever.
    m_io_context.restart();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        try {
            if (m_io_context.run_one_until(deadline) == 0) {
                return;
            }
        } catch (...) {
            // A destructor cannot let it out, and the handlers behind it still
            // deserve their turn.
            m_logger.log_exception(ZEL_LOCATION);
        }
    }
}

void events_loop_impl::run() {
    m_io_context.run();
}

void events_loop_impl::run_catch_exceptions(source_location _location) {
    for (;;) {
        try {
            run();
            return;
        } catch (...) {
            m_logger.log_exception(_location);
        }
    }
}

void events_loop_impl::stop() {
    m_io_context.stop();
}

bool events_loop_impl::is_stopped() const {
    return m_io_context.stopped();
}

events_loop::signals_handle::ptr events_loop_impl::stop_on_signals() {
    return std::make_unique<signals_handle_impl>(m_core, *this);
}

timer::ptr events_loop_impl::create_timer(timer::time_point _time_point, const std::string& _name,
                                          timer::callback _callback, source_location _location) {
    return get_timers().create_timer(_time_point, _name, std::move(_callback), _location);
}

periodic_timer::ptr events_loop_impl::create_periodic_timer(std::chrono::nanoseconds _period,
                                                            const std::string& _name,
                                                            timer::callback _callback,
                                                            source_location _location) {
    return get_timers().create_periodic_timer(_period, _name, std::move(_callback), _location);
}

periodic_timer::ptr events_loop_impl::create_periodic_timer(std::chrono::nanoseconds _period,
                                                            periodic_timer::execute_now _tag,
                                                            const std::string& _name,
                                                            timer::callback _callback,
                                                            source_location _location) {
    return get_timers().create_periodic_timer(_period, _tag, _name, std::move(_callback),
                                              _location);
}

message_stream::ptr events_loop_impl::create_zmq_message_stream(const std::string& _address) {
    return std::make_unique<message_stream_zmq>(m_io_context, m_logger, _address);
}

message_stream::ptr events_loop_impl::create_zmq_raw_message_stream(const std::string& _address) {
    return std::make_unique<message_stream_zmq_raw>(m_io_context, m_logger, _address);
}

message_stream::ptr events_loop_impl::create_zmq_message_stream(
    const std::string& _address, const message_stream_options& _options) {
    const curve::client_keys* keys = _options.keys ? &*_options.keys : nullptr;
    if (_options.kind == message_stream_options::frames::raw) {
        return std::make_unique<message_stream_zmq_raw>(m_io_context, m_logger, _address, keys);
    }
    return std::make_unique<message_stream_zmq>(m_io_context, m_logger, _address, keys);
}

udp::socket::ptr events_loop_impl::create_udp_socket(ip_protocol _protocol, int _port) {
    return std::make_unique<udp::socket_impl>(m_io_context, m_logger, _protocol, _port);
}

udp::socket::ptr events_loop_impl::create_udp_socket(const std::string& _address, int _port) {
    return std::make_unique<udp::socket_impl>(m_io_context, m_logger, _address, _port);
}

http::client::ptr events_loop_impl::create_http_client(const std::string& _address,
                                                       std::chrono::seconds _timeout) {
    return create_http_client(_address, _timeout, {}, 10);
}

http::client::ptr events_loop_impl::create_http_client(
    const std::string& _address, std::chrono::seconds _timeout,
    const std::vector<http::method>& _disabled_methods, int _num_threads) {
    return std::make_unique<http::client_impl>(*this, m_core, m_logger, _address, _timeout,
                                               _disabled_methods, _num_threads);
}

async_operation_handle<boost::optional<std::unique_ptr<redis::context>>>::ptr
events_loop_impl::create_redis_context(boost::string_view _ip, int _port, int _db) {
    return redis::context_impl::create(*this, m_logger, _ip, _port, _db);
}

void events_loop_impl::post(std::function<void()> _function, source_location) {
    boost::asio::post(m_io_context, std::move(_function));
}

events_loop::work::ptr events_loop_impl::create_work() {
    class work_impl : public work {
    public:
        explicit work_impl(boost::asio::io_context& _io_context)
            : m_guard(boost::asio::make_work_guard(_io_context)) {}

    private:
        boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_guard;
    };
    return std::make_unique<work_impl>(m_io_context);
}

}  // namespace core
}  // namespace libs
}  // namespace zel
