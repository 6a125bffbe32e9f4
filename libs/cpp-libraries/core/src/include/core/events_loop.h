#pragma once

#include <core/async_operation_handle.h>
#include <core/ip_protocol.h>
#include <core/periodic_timer.h>
#include <core/source_location.h>
#include <core/timer.h>

#include <boost/asio/io_context.hpp>
#include <boost/optional/optional_fwd.hpp>
#include <boost/utility/string_view.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zel {
namespace libs {
namespace core {

// The facilities a loop makes are only declared here: a file that uses one
// includes its header (core/udp/socket.h for udp::socket), and a file that does
// not compiles none of them.
class message_stream;
struct message_stream_options;
class timers_manager;
namespace http {
class client;
enum class method;
}  // namespace http
namespace redis {
class context;
}  // namespace redis
namespace tcp {
class manager;
}  // namespace tcp
namespace udp {
class socket;
}  // namespace udp
namespace zmq {
class manager;
}  // namespace zmq

// One Boost.Asio I/O context with its per-loop managers, and the factory of
// every asynchronous object of the library: all of them complete on the thread
// that runs the loop. A loop must outlive every object it made.
class events_loop {
public:
    using ptr = std::unique_ptr<events_loop>;

    // Stops the loop on the first SIGINT or SIGTERM, from a thread of its own.
    // Destroy it before the loop it stops.
    class signals_handle {
    public:
        using ptr = std::unique_ptr<signals_handle>;
        virtual ~signals_handle() = default;
        virtual bool signal_is_received() const = 0;
    };

    // Holds run() while it lives, even with nothing else to do.
    class work {
    public:
        using ptr = std::unique_ptr<work>;
        virtual ~work() = default;
    };

    virtual ~events_loop() = default;

    // Runs handlers on the calling thread until the loop is stopped or has no
    // work left. A handler's exception leaves run(); a later run() resumes the
    // queued work.
    virtual void run() = 0;
    // run(), logging each exception with _location and running on, until the
    // loop is stopped or out of work.
    virtual void run_catch_exceptions(source_location _location) = 0;
    // Safe from any thread. A stopped loop stays stopped.
    virtual void stop() = 0;
    virtual bool is_stopped() const = 0;
    virtual signals_handle::ptr stop_on_signals() = 0;

    virtual timers_manager& get_timers() = 0;
    // These forward to the timers manager's operations of the same signature.
    virtual timer::ptr create_timer(timer::time_point _time_point, const std::string& _name,
                                    timer::callback _callback, source_location _location) = 0;
    virtual periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds _period,
                                                      const std::string& _name,
                                                      timer::callback _callback,
                                                      source_location _location) = 0;
    virtual periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds _period,
                                                      periodic_timer::execute_now,
                                                      const std::string& _name,
                                                      timer::callback _callback,
                                                      source_location _location) = 0;

    // Streams of the publisher at _address: raw frames, or topic and JSON object frames.
    virtual std::unique_ptr<message_stream> create_zmq_message_stream(
        const std::string& _address) = 0;
    virtual std::unique_ptr<message_stream> create_zmq_raw_message_stream(
        const std::string& _address) = 0;
    // Either of them as _options say, also with CURVE keys (core/message_stream_options.h).
    virtual std::unique_ptr<message_stream> create_zmq_message_stream(
        const std::string& _address, const message_stream_options& _options) = 0;

    // Bound to the any-address of _protocol, or to a literal _address (never resolved); port 0
    // lets the system choose. Failures throw boost::system::system_error.
    virtual std::unique_ptr<udp::socket> create_udp_socket(ip_protocol _protocol, int _port) = 0;
    virtual std::unique_ptr<udp::socket> create_udp_socket(const std::string& _address,
                                                           int _port) = 0;

    virtual tcp::manager& get_tcp() = 0;
    virtual zmq::manager& get_zmq() = 0;

    // Requests against the base _address, each limited to _timeout; asynchronous results are
    // delivered on this loop. The first form disables no method and has 10 worker threads.
    // Methods in _disabled_methods are never sent: they answer 200 with an empty body.
    virtual std::unique_ptr<http::client> create_http_client(const std::string& _address,
                                                             std::chrono::seconds _timeout) = 0;
    virtual std::unique_ptr<http::client> create_http_client(
        const std::string& _address, std::chrono::seconds _timeout,
        const std::vector<http::method>& _disabled_methods, int _num_threads) = 0;

    // A Redis context on database _db once both its connections are up, or none when either
    // fails. Throws exception when the connection cannot even be started.
    virtual std::shared_ptr<
        async_operation_handle<boost::optional<std::unique_ptr<redis::context>>>>
    create_redis_context(boost::string_view _ip, int _port, int _db) = 0;

    // Queues _function for a later turn of run(); safe from any thread.
    virtual void post(std::function<void()> _function, source_location _location) = 0;
    virtual work::ptr create_work() = 0;

    virtual boost::asio::io_context& get_io_context() = 0;
    virtual const boost::asio::io_context& get_io_context() const = 0;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
