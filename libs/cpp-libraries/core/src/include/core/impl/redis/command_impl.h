#pragma once

#include <core/component_logger.h>
#include <core/events_loop.h>
#include <core/impl/redis/async_context.h>
#include <core/impl/redis/sync_context.h>
#include <core/redis/command.h>

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace zel {
namespace libs {
namespace core {
namespace redis {

class command_impl : public command {
public:
    // The arguments in the form hiredis takes, shared with pending executions.
    struct data {
        // A list, so that adding an argument never moves the earlier ones.
        std::list<std::string> m_argv_keeper;
        std::vector<const char*> m_argv;
        std::vector<std::size_t> m_argv_len;
    };

    command_impl(events_loop& _events_loop, const component_logger& _logger, sync_context& _sync,
                 async_context& _async);

    command& add_argument(std::string _arg) override;
    reply execute() override;
    handle execute_async() override;

private:
    events_loop& m_events_loop;
    [[maybe_unused]] const component_logger& m_logger;
    sync_context& m_sync;
    async_context& m_async;
    std::shared_ptr<data> m_data;
};

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
