#include <core/impl/redis/async_context.h>

#include <core/append_escaped.h>
#include <core/exception.h>
#include <core/impl/async_operation_handle/async_operation_handle_impl.h>
#include <core/impl/redis/command_view.h>
#include <core/redis/context.h>
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

// What a command whose own deadline passed reads, and the one whose reply was too large.
constexpr char timed_out[] = "timed out";
constexpr char too_large[] = "reply too large";

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
        self.connect_failed(_context->errstr);
    }
    self.connect_callback(_status);
}

// An error reply of ours, in a record that hiredis's free() can release.
redisReply* error_record(const std::string& _text) {
    auto* const record = static_cast<redisReply*>(std::calloc(1, sizeof(redisReply)));
    auto* const text = static_cast<char*>(std::malloc(_text.size() + 1));
    if (record == nullptr || text == nullptr) {
        std::free(record);
        std::free(text);
        return nullptr;
    }
    std::memcpy(text, _text.c_str(), _text.size() + 1);
    record->type = REDIS_REPLY_ERROR;
    record->str = text;
    record->len = _text.size();
    return record;
}

// hiredis frees its reply record once the callback returns: the data moves
// into a record of ours, which hiredis's free() can release in turn.
redisReply* take_reply(redisReply* _given) {
    auto* const record = static_cast<redisReply*>(std::calloc(1, sizeof(redisReply)));
    if (record != nullptr) {
        std::memcpy(record, _given, sizeof(redisReply));
        _given->len = 0;
        _given->str = nullptr;
        _given->elements = 0;
        _given->element = nullptr;
    }
    return record;
}

// hiredis passes no reply when the connection went before it came: a
// failure, which a nil would pass off as an answer.
void reply_function(redisAsyncContext* _context, void* _reply, void* _pending) {
    std::unique_ptr<async_context::pending_command> pending(
        static_cast<async_context::pending_command*>(_pending));
    async_context& self = cast(_context->ev.data);
    redisReply* const record = _reply != nullptr ? take_reply(static_cast<redisReply*>(_reply))
                                                 : error_record(self.lost_reply_text(*pending));
    if (record == nullptr) {
        return;
    }
    pending->m_callback(reply(record));
    if (_reply != nullptr) {
        // The next pending command may be due sooner than the timer fires.
        self.watch();
    }
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
        context->set_connect_callback([&_logger, ip = _ip, _port, context,
                                       weak_handle = std::move(_weak_handle)](int _status) {
            if (_status != REDIS_OK) {
                _logger.error("Cannot connect to the redis server at %1%:%2%: %3%") % ip % _port %
                    context->closed_because();
            }
            const auto handle = weak_handle.lock();
            if (!handle) {
                return;
            }
            handle->return_result(_status == REDIS_OK ? ptr(context) : ptr());
        });
        context->operate();
        context->watch();
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
    , m_context_is_alive(std::make_shared<bool>(false))
    , m_timeout(context::default_reply_timeout)
    , m_connect_deadline(clock::now() + context::connect_timeout)
    , m_timer(_events_loop.get_io_context())
    , m_bound(context::default_max_reply_memory) {
    if (m_context != nullptr && m_context->err == 0) {
        redisEnableKeepAlive(&m_context->c);
    }
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
    // hiredis aborts the process on a reply that no command asked for (it asserts that the
    // connection is subscribed): the reader refuses it first.
    m_bound.install(
        *m_context->c.reader,
        [](void* _self, const redisReadTask* _task) {
            return static_cast<async_context*>(_self)->expects(_task);
        },
        this);
    redisAsyncSetConnectCallback(m_context, connect_callback_wrapper);
    *m_context_is_alive = true;
}

async_context::~async_context() {
    if (m_context != nullptr) {
        // Unlike a disconnect, which waits for the pending replies that no
        // wait would read any more, this frees the connection now and gives
        // the pending commands an error reply.
        drop("connection closed");
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
    command_view(_argv, _argv_len).check_served();
    run_served_command(_argv, _argv_len, std::move(_callback));
}

void async_context::run_served_command(std::vector<const char*>& _argv,
                                       std::vector<std::size_t>& _argv_len, callback _callback) {
    const command_view command(_argv, _argv_len);
    const auto timeout = command.reply_timeout(m_timeout);
    auto pending = std::make_unique<pending_command>(pending_command{
        std::move(_callback), timeout ? clock::now() + *timeout : clock::time_point::max()});
    if (m_context == nullptr || redisAsyncCommandArgv(m_context, reply_function, pending.get(),
                                                      static_cast<int>(_argv.size()), _argv.data(),
                                                      _argv_len.data()) != REDIS_OK) {
        throw exception("Command: " + command.printable_name() + ", error: " +
                            (m_context == nullptr ? closed_text() : "the connection is closing"),
                        ZEL_LOCATION);
    }
    // hiredis owns it now, until the reply function.
    pending.release();
    watch();
}

bool async_context::expects(const redisReadTask* _task) {
    // A reply is made when it is complete, or an array when its header is: before hiredis hands
    // it to the oldest pending command, which must exist. A lone error is how a server says why it
    // closes a connection (too many clients, say): hiredis reports it as the reason.
    if (_task->parent != nullptr || _task->type == REDIS_REPLY_ERROR ||
        m_context->replies.head != nullptr) {
        return true;
    }
    // Refused, the reply reads as out of memory to hiredis, which closes the connection.
    m_closed_because = "connection lost: the server sent a reply no command asked for";
    return false;
}

std::string async_context::lost_reply_text(const pending_command& _pending) {
    std::string text = lost_reply_text();
    if (text == timed_out && clock::now() < _pending.m_deadline) {
        return "dropped with the connection after an older command timed out";
    }
    if (text == too_large) {
        // hiredis drops the pending commands oldest first: the reply answered the first.
        if (m_told_too_large) {
            return "dropped with the connection after an older command's reply was too large";
        }
        m_told_too_large = true;
    }
    return text;
}

std::string async_context::closed_text() const {
    if (m_closed_because == timed_out) {
        return "connection closed after a time-out";
    }
    if (m_closed_because == too_large) {
        return "connection closed after a reply too large";
    }
    return m_closed_because;
}

std::string async_context::lost_reply_text() const {
    if (!m_closed_because.empty()) {
        return m_closed_because;
    }
    if (m_bound.refused()) {
        return too_large;
    }
    std::string text = "connection lost";
    if (m_context != nullptr && m_context->c.errstr[0] != '\0') {
        text += ": ";
        append_escaped(text, m_context->c.errstr);
    }
    return text;
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
    // Every path on which hiredis frees its connection comes through here, after the pending
    // commands had their replies: the reason stays for the commands that come later.
    if (m_closed_because.empty()) {
        m_closed_because = lost_reply_text();
    }
    m_context = nullptr;
    m_read_requested = false;
    m_write_requested = false;
    // Pending waits end as aborted, and the duplicate descriptor goes now.
    boost::system::error_code ignored;
    m_socket.close(ignored);
    // No deadline is left to keep.
    m_timer.cancel();
    m_timer_armed = false;
}

void async_context::connect_failed(const char* _reason) {
    m_closed_because.clear();
    append_escaped(m_closed_because, _reason);
    cleanup();
}

void async_context::connect_callback(int _status) {
    m_connecting = false;
    if (_status == REDIS_OK) {
        const std::string db = std::to_string(m_db);
        std::vector<const char*> argv{"SELECT", db.c_str()};
        std::vector<std::size_t> argv_len{6, db.size()};
        // The connection's own SELECT, which a caller's command may not send.
        run_served_command(argv, argv_len, [](reply) {});
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

void async_context::watch() {
    if (m_context == nullptr) {
        return;
    }
    const clock::time_point deadline = next_deadline();
    // Before the object is owned, the timer's handler could not keep it alive.
    if (deadline == clock::time_point::max() || (m_timer_armed && m_timer_expiry <= deadline) ||
        weak_from_this().expired()) {
        return;
    }
    m_timer_armed = true;
    m_timer_expiry = deadline;
    // Cancels the wait for a later deadline, if any: its handler sees operation_aborted.
    m_timer.expires_at(deadline);
    m_timer.async_wait([alive = m_context_is_alive,
                        weak_self = weak_from_this()](const boost::system::error_code& _ec) {
        if (_ec == boost::asio::error::operation_aborted || !*alive) {
            return;
        }
        if (const ptr self = weak_self.lock()) {
            self->handle_timer();
        }
    });
}

void async_context::handle_timer() {
    m_timer_armed = false;
    if (m_context == nullptr) {
        return;
    }
    if (next_deadline() > clock::now()) {
        // What the timer was set for has been answered: the next deadline is later.
        watch();
        return;
    }
    if (m_connecting) {
        drop("connect timed out");
        connect_callback(REDIS_ERR);
    } else {
        drop(timed_out);
    }
}

async_context::clock::time_point async_context::next_deadline() const {
    if (m_connecting) {
        return m_connect_deadline;
    }
    // Replies come in the order of the commands: only the oldest can be late first.
    const redisCallback* const oldest = m_context->replies.head;
    return oldest != nullptr ? static_cast<const pending_command*>(oldest->privdata)->m_deadline
                             : clock::time_point::max();
}

void async_context::drop(std::string _reason) {
    m_closed_because = std::move(_reason);
    // Calls every pending command's reply function, then cleanup().
    redisAsyncFree(m_context);
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
    // hiredis keeps a reply's bytes until the whole reply is there.
    if (m_context != nullptr && !m_bound.admits_held(*m_context->c.reader)) {
        drop(too_large);
    }
    operate();
}

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
