#include <core/impl/redis/context_impl.h>

#include <core/exception.h>
#include <core/impl/async_operation_handle/async_operation_handle_impl.h>
#include <core/impl/redis/command_impl.h>

#include <charconv>
#include <cstdint>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace redis {

namespace {

// The words moved into the list, which an initializer list would copy.
template <class... Words>
context::args words(Words&&... _words) {
    context::args result;
    result.reserve(sizeof...(Words));
    (result.emplace_back(std::forward<Words>(_words)), ...);
    return result;
}

std::uint64_t to_cursor(boost::string_view _text) {
    std::uint64_t cursor = 0;
    const char* const end = _text.data() + _text.size();
    const auto parsed = std::from_chars(_text.data(), end, cursor);
    if (_text.empty() || parsed.ec != std::errc() || parsed.ptr != end) {
        throw exception("Invalid scan cursor: " + std::string(_text), ZEL_LOCATION);
    }
    return cursor;
}

}  // namespace

context_impl::handle context_impl::create(events_loop& _events_loop,
                                          const component_logger& _logger, boost::string_view _ip,
                                          int _port, int _db) {
    using result_type = boost::optional<std::unique_ptr<context>>;
    using handle_impl = async_operation_handle_impl<result_type>;
    const auto connection =
        async_context::create(_events_loop, _logger, std::string(_ip), _port, _db);
    auto start = [&_events_loop, &_logger, ip = std::string(_ip), _port, _db, connection](
                     const handle_impl::ptr&, std::weak_ptr<handle_impl> _weak_handle) {
        if (connection->is_complete()) {
            connection->restart();
        }
        connection->set_callback(
            [&_events_loop, &_logger, ip, _port, _db,
             weak_handle = std::move(_weak_handle)](async_context::ptr _async) {
                const auto handle = weak_handle.lock();
                if (!handle) {
                    return;
                }
                if (!_async) {
                    handle->return_result(boost::none);
                    return;
                }
                std::unique_ptr<sync_context> sync;
                try {
                    sync = std::make_unique<sync_context>(_events_loop, _logger, ip, _port, _db);
                } catch (const exception& _error) {
                    // The handle's owner is told through the result; the reason
                    // goes to the log.
                    _logger.log_exception(_error);
                    handle->return_result(boost::none);
                    return;
                }
                handle->return_result(std::unique_ptr<context>(std::make_unique<context_impl>(
                    _events_loop, _logger, std::move(_async), std::move(sync))));
            });
    };
    auto handle = handle_impl::create(_events_loop, std::move(start));
    handle->start();
    return handle;
}

context_impl::context_impl(events_loop& _events_loop, const component_logger& _logger,
                           std::shared_ptr<async_context> _async,
                           std::unique_ptr<sync_context> _sync)
    : m_events_loop(_events_loop)
    , m_logger(_logger)
    , m_async(std::move(_async))
    , m_sync(std::move(_sync)) {}

command::ptr context_impl::get(std::string _key) {
    return create_command(words("GET", std::move(_key)));
}

command::ptr context_impl::set(std::string _key, std::string _value) {
    return create_command(words("SET", std::move(_key), std::move(_value)));
}

command::ptr context_impl::del(std::string _key) {
    return create_command(words("DEL", std::move(_key)));
}

command::ptr context_impl::add_to_set(std::string _key) {
    return create_command(words("SADD", std::move(_key)));
}

command::ptr context_impl::add_to_set(std::string _key, std::string _value) {
    return create_command(words("SADD", std::move(_key), std::move(_value)));
}

command::ptr context_impl::remove_from_set(std::string _key, std::string _value) {
    return create_command(words("SREM", std::move(_key), std::move(_value)));
}

command::ptr context_impl::get_set_members(std::string _key) {
    return create_command(words("SMEMBERS", std::move(_key)));
}

command::ptr context_impl::get_table(std::string _table) {
    return create_command(words("HGETALL", std::move(_table)));
}

command::ptr context_impl::get_from_table(std::string _table, std::string _field) {
    return create_command(words("HGET", std::move(_table), std::move(_field)));
}

command::ptr context_impl::get_from_table_multi(std::string _table) {
    return create_command(words("HMGET", std::move(_table)));
}

command::ptr context_impl::set_to_table(std::string _table, std::string _field,
                                        std::string _value) {
    return create_command(words("HSET", std::move(_table), std::move(_field), std::move(_value)));
}

command::ptr context_impl::set_to_table_multi(std::string _table) {
    return create_command(words("HMSET", std::move(_table)));
}

command::ptr context_impl::increment_in_table(std::string _table, std::string _field,
                                              std::string _value) {
    return create_command(
        words("HINCRBY", std::move(_table), std::move(_field), std::move(_value)));
}

command::ptr context_impl::delete_from_table(std::string _table, std::string _field) {
    return create_command(words("HDEL", std::move(_table), std::move(_field)));
}

iteration_result context_impl::scan(boost::string_view _pattern, callback _callback) {
    std::uint64_t cursor = 0;
    do {
        const reply page =
            create_command(words("SCAN", std::to_string(cursor), "MATCH", std::string(_pattern)))
                ->execute();
        const reply_array parts = page.as_array();
        cursor = to_cursor(parts[0].as_string_view());
        const reply_array keys = parts[1].as_array();
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (!_callback(keys[i].as_string_view())) {
                return iteration_result::interrupted;
            }
        }
    } while (cursor != 0);
    return iteration_result::finished;
}

command::ptr context_impl::create_command(args _args) {
    auto command = std::make_unique<command_impl>(m_events_loop, m_logger, *m_sync, *m_async);
    for (auto& arg : _args) {
        command->add_argument(std::move(arg));
    }
    return command;
}

void context_impl::set_reply_timeout(std::chrono::milliseconds _timeout) {
    if (_timeout <= _timeout.zero()) {
        throw exception("Invalid reply time-out: " + std::to_string(_timeout.count()) + " ms",
                        ZEL_LOCATION);
    }
    m_sync->set_reply_timeout(_timeout);
    m_async->set_reply_timeout(_timeout);
}

void context_impl::set_max_reply_memory(std::size_t _bytes) {
    if (_bytes == 0) {
        throw exception("Invalid reply memory bound: 0 bytes", ZEL_LOCATION);
    }
    m_sync->set_max_reply_memory(_bytes);
    m_async->set_max_reply_memory(_bytes);
}

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
