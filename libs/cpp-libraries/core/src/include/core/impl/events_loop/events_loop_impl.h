#pragma once

#include <core/component_logger.h>
#include <core/events_loop.h>
#include <core/http/client.h>
#include <core/http/method.h>
#include <core/message_stream.h>
#include <core/redis/context.h>
#include <core/tcp/manager.h>
#include <core/timers_manager.h>
#include <core/udp/socket.h>
#include <core/zmq/manager.h>

#include <boost/asio/io_context.hpp>
#include <boost/optional.hpp>

#include <memory>

namespace zel {
namespace libs {
namespace core {

class core;

class events_loop_impl : public events_loop {
public:
    events_loop_impl(core& _core, const component_logger& _logger);
    // Drains the handlers still queued, for 10 seconds at most.
    ~events_loop_impl() override;

    void run() override;
    void run_catch_exceptions(source_location _location) override;
    void stop() override;
    bool is_stopped() const override;
    signals_handle::ptr stop_on_signals() override;

    timers_manager& get_timers() override { return *m_timers; }
    timer::ptr create_timer(timer::time_point _time_point, const std::string& _name,
                            timer::callback _callback, source_location _location) override;
    periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds _period,
                                              const std::string& _name, timer::callback _callback,
                                              source_location _location) override;
    periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds _period,
                                              periodic_timer::execute_now, const std::string& _name,
                                              timer::callback _callback,
                                              source_location _location) override;

    message_stream::ptr create_zmq_message_stream(const std::string& _address) override;
    message_stream::ptr create_zmq_raw_message_stream(const std::string& _address) override;
    message_stream::ptr create_zmq_message_stream(const std::string& _address,
                                                  const message_stream_options& _options) override;

    udp::socket::ptr create_udp_socket(ip_protocol _protocol, int _port) override;
    udp::socket::ptr create_udp_socket(const std::string& _address, int _port) override;

    tcp::manager& get_tcp() override { return *m_tcp; }
    zmq::manager& get_zmq() override { return *m_zmq; }

    http::client::ptr create_http_client(const std::string& _address,
                                         std::chrono::seconds _timeout) override;
    http::client::ptr create_http_client(const std::string& _address, std::chrono::seconds _timeout,
                                         const std::vector<http::method>& _disabled_methods,
                                         int _num_threads) override;

    async_operation_handle<boost::optional<std::unique_ptr<redis::context>>>::ptr
    create_redis_context(boost::string_view _ip, int _port, int _db) override;

    void post(std::function<void()> _function, source_location _location) override;
    work::ptr create_work() override;

    boost::asio::io_context& get_io_context() override { return m_io_context; }
    const boost::asio::io_context& get_io_context() const override { return m_io_context; }

private:
    core& m_core;
    boost::asio::io_context m_io_context;
    const component_logger& m_logger;
    // Destroyed after the destructor's drain, whose ticks may still read its
    // clock, and before the I/O context its timers wait on.
    std::unique_ptr<timers_manager> m_timers;
    std::unique_ptr<tcp::manager> m_tcp;
    std::unique_ptr<zmq::manager> m_zmq;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
