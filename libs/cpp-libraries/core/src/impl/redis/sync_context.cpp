#include <core/impl/redis/sync_context.h>

#include <core/append_escaped.h>
#include <core/exception.h>
#include <core/redis/context.h>

#include <poll.h>
#include <sys/time.h>

#include <cerrno>
#include <string>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace redis {

namespace {

// Each blocking read or write of the socket waits at most this long; between them the command's
// deadline is checked and poll() waits for the rest, so that a server that answers a byte at a
// time cannot stretch a wait past it.
constexpr timeval io_slice{0, 10000};

constexpr char unasked_reply[] = "the server sent a reply no command asked for";

timeval to_timeval(std::chrono::milliseconds _duration) {
    return timeval{static_cast<time_t>(_duration.count() / 1000),
                   static_cast<suseconds_t>(_duration.count() % 1000 * 1000)};
}

// True once _descriptor is ready for _events, false when _deadline passes first.
bool ready_before(int _descriptor, short _events,
                  const boost::optional<std::chrono::steady_clock::time_point>& _deadline) {
    for (;;) {
        int timeout_ms = -1;
        if (_deadline) {
            const auto left = *_deadline - std::chrono::steady_clock::now();
            if (left <= left.zero()) {
                return false;
            }
            // Rounded up: a wait that ends early would only poll again.
            timeout_ms =
                static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
        }
        pollfd watched{_descriptor, _events, 0};
        const int result = ::poll(&watched, 1, timeout_ms);
        if (result > 0) {
            // An error or hang-up is for the read or write to report.
            return true;
        }
        if (result < 0 && errno != EINTR) {
            return true;
        }
    }
}

}  // namespace

sync_context::sync_context(events_loop& _events_loop, const component_logger& _logger,
                           boost::string_view _ip, int _port, int _db)
    : m_events_loop(_events_loop), m_logger(_logger), m_timeout(context::default_reply_timeout) {
    m_context_ptr.reset(redisConnectWithTimeout(std::string(_ip).c_str(), _port,
                                                to_timeval(context::connect_timeout)));
    // Each sets the context's error when it fails.
    if (m_context_ptr && m_context_ptr->err == 0 &&
        redisSetTimeout(m_context_ptr.get(), io_slice) == REDIS_OK) {
        redisEnableKeepAlive(m_context_ptr.get());
    }
    if (!m_context_ptr || m_context_ptr->err != 0) {
        throw exception(
            std::string("Connection error: ") +
                (m_context_ptr ? m_context_ptr->errstr : "can't allocate redis context"),
            ZEL_LOCATION);
    }
    // hiredis's own blocking reply loop would wait for ever on a server that stops answering.
    // exchange() drives the socket instead, and without the blocking flag hiredis takes a read or
    // write that timed out for "try again" rather than for a broken connection.
    m_context_ptr->flags &= ~REDIS_BLOCK;
    m_bound.install(*m_context_ptr->reader);
    const std::string db = std::to_string(_db);
    std::vector<const char*> argv{"SELECT", db.c_str()};
    std::vector<std::size_t> argv_len{6, db.size()};
    // The connection's own SELECT, which a caller's command may not send.
    run_served_command(argv, argv_len);
}

reply sync_context::run_command(std::vector<const char*>& _argv,
                                std::vector<std::size_t>& _argv_len) {
    command_view(_argv, _argv_len).check_served();
    return run_served_command(_argv, _argv_len);
}

reply sync_context::run_served_command(std::vector<const char*>& _argv,
                                       std::vector<std::size_t>& _argv_len) {
    const command_view command(_argv, _argv_len);
    if (!m_context_ptr) {
        fail(command, m_closed_because, "");
    }
    boost::optional<clock::time_point> deadline;
    if (const auto timeout = command.reply_timeout(m_timeout)) {
        deadline = clock::now() + *timeout;
    }
    reply result(exchange(_argv, _argv_len, command, deadline));
    if (result.get_type() == reply_type::ERROR) {
        std::string message = "Command: " + command.printable_name() + ", error: ";
        append_escaped(message, result.as_string_view());
        throw exception(message, ZEL_LOCATION);
    }
    return result;
}

redisReply* sync_context::exchange(std::vector<const char*>& _argv,
                                   std::vector<std::size_t>& _argv_len,
                                   const command_view& _command,
                                   const boost::optional<clock::time_point>& _deadline) {
    redisContext* const connection = m_context_ptr.get();
    // Bytes left over from the last reply would pass for this command's reply.
    if (connection->reader->pos != connection->reader->len) {
        fail(_command, unasked_reply, unasked_reply);
    }
    if (redisAppendCommandArgv(connection, static_cast<int>(_argv.size()), _argv.data(),
                               _argv_len.data()) != REDIS_OK) {
        fail(_command, connection->errstr, connection->errstr);
    }
    for (int done = 0;;) {
        if (redisBufferWrite(connection, &done) != REDIS_OK) {
            fail(_command, connection->errstr, connection->errstr);
        }
        if (done != 0) {
            break;
        }
        if (!ready_before(connection->fd, POLLOUT, _deadline)) {
            fail(_command, "timed out", "connection closed after a time-out");
        }
    }
    for (bool first = true;; first = false) {
        void* record = nullptr;
        if (redisGetReplyFromReader(connection, &record) != REDIS_OK) {
            if (m_bound.refused()) {
                fail(_command, "reply too large", "connection closed after a reply too large");
            }
            fail(_command, connection->errstr, connection->errstr);
        }
        if (record != nullptr) {
            return static_cast<redisReply*>(record);
        }
        if (!m_bound.admits_held(*connection->reader)) {
            fail(_command, "reply too large", "connection closed after a reply too large");
        }
        // The first read waits its slice without a poll first: most replies are there by then.
        if (!first && !ready_before(connection->fd, POLLIN, _deadline)) {
            fail(_command, "timed out", "connection closed after a time-out");
        }
        if (redisBufferRead(connection) != REDIS_OK) {
            fail(_command, connection->errstr, connection->errstr);
        }
    }
}

void sync_context::fail(const command_view& _command, boost::string_view _error,
                        std::string _closed_because) {
    std::string message = "Command: " + _command.printable_name() + ", error: ";
    append_escaped(message, _error);
    if (!_closed_because.empty()) {
        m_context_ptr.reset();
        m_closed_because = std::move(_closed_because);
    }
    throw exception(message, ZEL_LOCATION);
}

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
