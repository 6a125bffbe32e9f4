#pragma once

#include <core/async_operation_handle.h>
#include <core/component_logger.h>
#include <core/events_loop.h>
#include <core/impl/redis/reply_bound.h>
#include <core/redis/reply.h>

#include <hiredis/async.h>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/system/error_code.hpp>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zel {
namespace libs {
namespace core {
namespace redis {

// The non-blocking connection of a Redis context, driven by the events loop:
// hiredis asks for readiness through its hooks, and the loop waits for it on a
// duplicate of hiredis's descriptor. Everything runs on the loop's thread.
//
// hiredis frees its connection itself when the connect fails or the server
// closes it, and so does this object when the connect or the oldest pending
// reply is late (see context for the time-outs) or a reply grows past its
// bound (see context).
// From then on no command is accepted (run_command throws), and every command
// still pending has had a reply of type ERROR saying why.
class async_context : public std::enable_shared_from_this<async_context> {
public:
    using ptr = std::shared_ptr<async_context>;
    using callback = std::function<void(reply)>;
    using clock = std::chrono::steady_clock;

    // What hiredis holds for a queued command until its reply: one allocation
    // per command, the deadline included.
    struct pending_command {
        callback m_callback;
        // clock::time_point::max() when the reply may take for ever.
        clock::time_point m_deadline;
    };

    // The connected context, or an empty pointer when the connection failed.
    // Throws exception when the connection cannot even be started.
    static async_operation_handle<ptr>::ptr create(events_loop& _events_loop,
                                                   const component_logger& _logger, std::string _ip,
                                                   int _port, int _db);

    // Starts connecting; the readiness waits begin with operate(), and the
    // time-outs with watch(), once the object is owned by a shared pointer.
    async_context(events_loop& _events_loop, const component_logger& _logger, std::string _ip,
                  int _port, int _db);
    // Frees the connection: commands still pending get an error reply.
    ~async_context();

    async_context(const async_context&) = delete;
    async_context& operator=(const async_context&) = delete;

    // Called once with hiredis's status: 0 when connected.
    void set_connect_callback(std::function<void(int)> _callback);

    // Queues one command; _callback gets its reply later, on the loop's thread.
    // The vectors need to live only for the call. Throws exception when the
    // connection is gone or closing, and for a command the client does not serve.
    void run_command(std::vector<const char*>& _argv, std::vector<std::size_t>& _argv_len,
                     callback _callback);

    // For the commands queued from now on.
    void set_reply_timeout(std::chrono::milliseconds _timeout) { m_timeout = _timeout; }
    // Why the connection went; empty while it stands.
    const std::string& closed_because() const { return m_closed_because; }
    // For the replies that start from now on.
    void set_max_reply_memory(std::size_t _bytes) { m_bound.set_limit(_bytes); }
    // The text of the reply _pending gets when the connection goes before its reply; asked for
    // the pending commands oldest first.
    std::string lost_reply_text(const pending_command& _pending);
    // Whether the reply hiredis's reader is making answers a pending command; when not, the
    // connection is to be closed.
    bool expects(const redisReadTask* _task);

    // hiredis's hooks.
    void add_read();
    void del_read();
    void add_write();
    void del_write();
    // hiredis is about to free its connection.
    void cleanup();
    // The connect failed for _reason; hiredis frees its connection next.
    void connect_failed(const char* _reason);

    void connect_callback(int _status);
    // Starts the readiness waits hiredis asks for that are not pending yet.
    void operate();
    // Arms the time-out of the connect, or of the oldest pending reply, unless
    // the timer already fires by then.
    void watch();

private:
    void handle_read(const boost::system::error_code& _ec);
    void handle_write(const boost::system::error_code& _ec);
    // Clears the wait's mark, lets hiredis read or write, and renews the waits it asks for.
    void handle_readiness(bool& _in_progress, void (*_handle)(redisAsyncContext*),
                          const boost::system::error_code& _ec);
    // A readiness wait, which keeps the object alive while its handler runs.
    template <class Handler>
    void wait(boost::asio::ip::tcp::socket::wait_type _type, Handler _handler);
    void handle_timer();
    // The deadline the timer keeps: the connect's, or the oldest pending reply's.
    clock::time_point next_deadline() const;
    // Why the connection went, once it has.
    std::string lost_reply_text() const;
    // What a command given once the connection went reads.
    std::string closed_text() const;
    // run_command once the command is known to be served.
    void run_served_command(std::vector<const char*>& _argv, std::vector<std::size_t>& _argv_len,
                            callback _callback);
    // Frees hiredis's connection: every pending command gets an error reply with _reason.
    void drop(std::string _reason);

    events_loop& m_events_loop;
    [[maybe_unused]] const component_logger& m_logger;
    redisAsyncContext* m_context;
    boost::asio::ip::tcp::socket m_socket;
    int m_db;
    bool m_read_requested = false;
    bool m_write_requested = false;
    bool m_read_in_progress = false;
    bool m_write_in_progress = false;
    std::function<void(int)> m_connect_callback;
    std::shared_ptr<bool> m_context_is_alive;
    std::chrono::milliseconds m_timeout;
    bool m_connecting = true;
    clock::time_point m_connect_deadline;
    boost::asio::steady_timer m_timer;
    bool m_timer_armed = false;
    clock::time_point m_timer_expiry;
    std::string m_closed_because;
    reply_bound m_bound;
    // Whether the command whose reply was too large has been told so.
    bool m_told_too_large = false;
};

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
