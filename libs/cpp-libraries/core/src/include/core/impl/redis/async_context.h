#pragma once

#include <core/async_operation_handle.h>
#include <core/component_logger.h>
#include <core/events_loop.h>
#include <core/redis/reply.h>

#include <hiredis/async.h>
#include <boost/asio/ip/tcp.hpp>
#include <boost/system/error_code.hpp>

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
// closes it; from then on no command is accepted (run_command throws), and
// commands still pending have been given a nil reply.
class async_context : public std::enable_shared_from_this<async_context> {
public:
    using ptr = std::shared_ptr<async_context>;
    using callback = std::function<void(reply)>;

    // The connected context, or an empty pointer when the connection failed.
    // Throws exception when the connection cannot even be started.
    static async_operation_handle<ptr>::ptr create(events_loop& _events_loop,
                                                   const component_logger& _logger, std::string _ip,
                                                   int _port, int _db);

    // Starts connecting; the readiness waits begin with operate(), once the
    // object is owned by a shared pointer.
    async_context(events_loop& _events_loop, const component_logger& _logger, std::string _ip,
                  int _port, int _db);
    // Frees the connection: commands still pending get a nil reply.
    ~async_context();

    async_context(const async_context&) = delete;
    async_context& operator=(const async_context&) = delete;

    // Called once with hiredis's status: 0 when connected.
    void set_connect_callback(std::function<void(int)> _callback);

    // Queues one command; _callback gets its reply later, on the loop's thread.
    // The vectors need to live only for the call. Throws exception when the
    // connection is gone or closing.
    void run_command(std::vector<const char*>& _argv, std::vector<std::size_t>& _argv_len,
                     callback _callback);

    // hiredis's hooks.
    void add_read();
    void del_read();
    void add_write();
    void del_write();
    // hiredis is about to free its connection.
    void cleanup();

    void connect_callback(int _status);
    // Starts the readiness waits hiredis asks for that are not pending yet.
    void operate();

private:
    void handle_read(const boost::system::error_code& _ec);
    void handle_write(const boost::system::error_code& _ec);
    // Clears the wait's mark, lets hiredis read or write, and renews the waits it asks for.
    void handle_readiness(bool& _in_progress, void (*_handle)(redisAsyncContext*),
                          const boost::system::error_code& _ec);
    // A readiness wait, which keeps the object alive while its handler runs.
    template <class Handler>
    void wait(boost::asio::ip::tcp::socket::wait_type _type, Handler _handler);

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
};

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
