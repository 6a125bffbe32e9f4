#include <core/impl/redis/async_context.h>

#include <core/exception.h>
#include <core/impl/async_operation_handle_impl.h>
#include <core/scope_guard.h>

#include <boost/asio/error.hpp>

#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace redis {

namespace {

async_context& cast(void* _data) {
    return *static_cast<async_context*>(_data);
}

void add_read_wrapper(void* _data) {
    cast(_data).add_read();
}

void del_read_wrapper(void* _data) {
    cast(_data).del_read();
}

void add_write_wrapper(void* _data) {
    cast(_data).add_write();
}

void del_write_wrapper(void* _data) {
    cast(_data).del_write();
}

void cleanup_wrapper(void* _data) {
    cast(_data).cleanup();
}

void connect_callback_wrapper(const redisAsyncContext* _context, int _status) {
    async_context& self = cast(_context->ev.data);
    if (_status != REDIS_OK) {
        // hiredis frees its connection right after this callback: nothing may
        // reach it from here on.
        self.cleanup();
    }
    self.connect_callback(_status);
}

// hiredis frees its reply record once the callback returns: the data moves
// into a record of ours, which hiredis's free() can release in turn.
void reply_function(redisAsyncContext*, void* _reply, void* _callback) {
    std::unique_ptr<async_context::callback> callback(
        static_cast<async_context::callback*>(_callback));
    auto* const record = static_cast<redisReply*>(std::calloc(1, sizeof(redisReply)));
    if (record == nullptr) {
        return;
    }
    if (_reply != nullptr) {
        auto* const given = static_cast<redisReply*>(_reply);
        std::memcpy(record, given, sizeof(redisReply));
        given->len = 0;
        given->str = nullptr;
        given->elements = 0;
        given->element = nullptr;
    } else {
        // The connection went before the reply came.
        record->type = REDIS_REPLY_NIL;
    }
    reply result(record);
    (*callback)(std::move(result));
}

}  // namespace

async_operation_handle<async_context::ptr>::ptr async_context::create(
    events_loop& _events_loop, const component_logger& _logger, std::string _ip, int _port,
    int _db) {
    using handle_impl = async_operation_handle_impl<ptr>;
    auto start = [&_events_loop, &_logger, _ip = std::move(_ip), _port, _db](
                     const handle_impl::ptr&, std::weak_ptr<handle_impl> _weak_handle) {
        auto context = std::make_shared<async_context>(_events_loop, _logger, _ip, _port, _db);
        // The context holds itself through its connect callback until the
        // connection is decided; the callback is dropped once it has run.
        context->set_connect_callback(
            [context, weak_handle = std::move(_weak_handle)](int _status) {
                const auto handle = weak_handle.lock();
                if (!handle) {
                    return;
                }
                handle->return_result(_status == REDIS_OK ? ptr(context) : ptr());
            });
        context->operate();
    };
    auto handle = handle_impl::create(_events_loop, std::move(start));
    handle->start();
    return handle;
}

async_context::async_context(events_loop& _events_loop, const component_logger& _logger,
                             std::string _ip, int _port, int _db)
    : m_events_loop(_events_loop)
    , m_logger(_logger)
    , m_context(redisAsyncConnect(_ip.c_str(), _port))
    , m_socket(_events_loop.get_io_context())
    , m_db(_db)
    , m_context_is_alive(std::make_shared<bool>(false)) {
    if (m_context == nullptr || m_context->err != 0) {
        const std::string reason = m_context != nullptr ? m_context->errstr : "";
        // Nothing else will free it: no hook was installed yet.
        redisAsyncFree(m_context);
        m_context = nullptr;
        throw exception("Cannot open connection to the redis server: " + reason, ZEL_LOCATION);
    }
    const int descriptor = ::dup(m_context->c.fd);
    boost::system::error_code error;
    if (descriptor >= 0) {
        m_socket.assign(boost::asio::ip::tcp::v4(), descriptor, error);
    }
    if (descriptor < 0 || error) {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
        redisAsyncFree(m_context);
        m_context = nullptr;
        throw exception("Cannot open connection to the redis server: cannot watch its descriptor",
                        ZEL_LOCATION);
    }
    m_context->ev.addRead = add_read_wrapper;
    m_context->ev.delRead = del_read_wrapper;
    m_context->ev.addWrite = add_write_wrapper;
    m_context->ev.delWrite = del_write_wrapper;
    m_context->ev.cleanup = cleanup_wrapper;
    m_context->ev.data = this;
    redisAsyncSetConnectCallback(m_context, connect_callback_wrapper);
    *m_context_is_alive = true;
}

async_context::~async_context() {
    if (m_context != nullptr) {
        // Unlike a disconnect, which waits for the pending replies that no
        // wait would read any more, this frees the connection now and gives
        // the pending commands a nil reply.
        redisAsyncFree(m_context);
    }
    *m_context_is_alive = false;
    m_connect_callback = nullptr;
    boost::system::error_code ignored;
    m_socket.close(ignored);
}

void async_context::set_connect_callback(std::function<void(int)> _callback) {
    m_connect_callback = std::move(_callback);
}

void async_context::run_command(std::vector<const char*>& _argv,
                                std::vector<std::size_t>& _argv_len, callback _callback) {
    auto stored = std::make_unique<callback>(std::move(_callback));
    if (m_context == nullptr || redisAsyncCommandArgv(m_context, reply_function, stored.get(),
                                                      static_cast<int>(_argv.size()), _argv.data(),
                                                      _argv_len.data()) != REDIS_OK) {
        throw exception("Command: " + std::string(_argv.at(0), _argv_len.at(0)) + ", error",
                        ZEL_LOCATION);
    }
    // hiredis owns it now, until the reply function.
    stored.release();
}

void async_context::add_read() {
    m_read_requested = true;
    operate();
}

void async_context::del_read() {
    m_read_requested = false;
}

void async_context::add_write() {
    m_write_requested = true;
    operate();
}

void async_context::del_write() {
    m_write_requested = false;
}

void async_context::cleanup() {
    // Every path on which hiredis frees its connection comes through here.
    m_context = nullptr;
    m_read_requested = false;
    m_write_requested = false;
    // Pending waits end as aborted, and the duplicate descriptor goes now.
    boost::system::error_code ignored;
    m_socket.close(ignored);
}

void async_context::connect_callback(int _status) {
    if (_status == REDIS_OK) {
        const std::string db = std::to_string(m_db);
        std::vector<const char*> argv{"SELECT", db.c_str()};
        std::vector<std::size_t> argv_len{6, db.size()};
        run_command(argv, argv_len, [](reply) {});
    }
    if (m_connect_callback) {
        // Runs once, and is dropped even if it throws.
        std::function<void(int)> callback = std::move(m_connect_callback);
        m_connect_callback = nullptr;
        callback(_status);
    }
}

void async_context::operate() {
    // Before the object is owned, a wait could not keep it alive; and without
    // hiredis's connection there is nothing to wait for.
    if (m_context == nullptr || weak_from_this().expired()) {
        return;
    }
    if (m_read_requested && !m_read_in_progress) {
        m_read_in_progress = true;
        wait(boost::asio::ip::tcp::socket::wait_read,
             [](async_context& _self, const boost::system::error_code& _ec) {
                 _self.handle_read(_ec);
             });
    }
    if (m_write_requested && !m_write_in_progress) {
        m_write_in_progress = true;
        wait(boost::asio::ip::tcp::socket::wait_write,
             [](async_context& _self, const boost::system::error_code& _ec) {
                 _self.handle_write(_ec);
             });
    }
}

template <class Handler>
void async_context::wait(boost::asio::ip::tcp::socket::wait_type _type, Handler _handler) {
    m_socket.async_wait(_type, [alive = m_context_is_alive, weak_self = weak_from_this(),
                                _handler](const boost::system::error_code& _ec) {
        if (!*alive) {
            return;
        }
        // Held for the whole run: a callback inside hiredis may drop the last
        // other reference, and the connection must not be freed under it.
        const ptr self = weak_self.lock();
        if (self) {
            _handler(*self, _ec);
        }
    });
}

void async_context::handle_read(const boost::system::error_code& _ec) {
    handle_readiness(m_read_in_progress, redisAsyncHandleRead, _ec);
}

void async_context::handle_write(const boost::system::error_code& _ec) {
    handle_readiness(m_write_in_progress, redisAsyncHandleWrite, _ec);
}

void async_context::handle_readiness(bool& _in_progress, void (*_handle)(redisAsyncContext*),
                                     const boost::system::error_code& _ec) {
    _in_progress = false;
    if (_ec) {
        // Anything but a spurious wake-up (a close, a cancel) ends the waits.
        if (_ec == boost::asio::error::would_block) {
            operate();
        }
        return;
    }
    if (m_context != nullptr) {
        _handle(m_context);
    }
    operate();
}

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
