#pragma once

#include <core/async_operation_handle.h>
#include <core/component_logger.h>
#include <core/events_loop.h>
#include <core/impl/redis/async_context.h>
#include <core/impl/redis/sync_context.h>
#include <core/redis/context.h>

#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace zel {
namespace libs {
namespace core {
namespace redis {

class context_impl : public context {
public:
    using handle = async_operation_handle<boost::optional<std::unique_ptr<context>>>::ptr;

    // A context once both connections are up and have selected _db, or none
    // when either fails (a database the server refuses included, whose error
    // is logged). Throws exception when the connection cannot even be started.
    static handle create(events_loop& _events_loop, const component_logger& _logger,
                         boost::string_view _ip, int _port, int _db);

    context_impl(events_loop& _events_loop, const component_logger& _logger,
                 std::shared_ptr<async_context> _async, std::unique_ptr<sync_context> _sync);

    command::ptr get(std::string _key) override;
    command::ptr set(std::string _key, std::string _value) override;
    command::ptr del(std::string _key) override;
    command::ptr add_to_set(std::string _key) override;
    command::ptr add_to_set(std::string _key, std::string _value) override;
    command::ptr remove_from_set(std::string _key, std::string _value) override;
    command::ptr get_set_members(std::string _key) override;
    command::ptr get_table(std::string _table) override;
    command::ptr get_from_table(std::string _table, std::string _field) override;
    command::ptr get_from_table_multi(std::string _table) override;
    command::ptr set_to_table(std::string _table, std::string _field, std::string _value) override;
    command::ptr set_to_table_multi(std::string _table) override;
    command::ptr increment_in_table(std::string _table, std::string _field,
                                    std::string _value) override;
    command::ptr delete_from_table(std::string _table, std::string _field) override;
    // SCAN cursors are unsigned 64-bit numbers, sent back as their decimal text.
    iteration_result scan(boost::string_view _pattern, callback _callback) override;
    command::ptr create_command(args _args) override;
    void set_reply_timeout(std::chrono::milliseconds _timeout) override;
    void set_max_reply_memory(std::size_t _bytes) override;

private:
    events_loop& m_events_loop;
    const component_logger& m_logger;
    std::shared_ptr<async_context> m_async;
    std::unique_ptr<sync_context> m_sync;
};

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
