#include <core/impl/redis/command_impl.h>

#include <core/impl/async_operation_handle/async_operation_handle_impl.h>

#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace redis {

command_impl::command_impl(events_loop& _events_loop, const component_logger& _logger,
                           sync_context& _sync, async_context& _async)
    : m_events_loop(_events_loop)
    , m_logger(_logger)
    , m_sync(_sync)
    , m_async(_async)
    , m_data(std::make_shared<data>()) {}

command& command_impl::add_argument(std::string _arg) {
    const std::string& stored = m_data->m_argv_keeper.emplace_back(std::move(_arg));
    m_data->m_argv.push_back(stored.data());
    m_data->m_argv_len.push_back(stored.size());
    return *this;
}

reply command_impl::execute() {
    return m_sync.run_command(m_data->m_argv, m_data->m_argv_len);
}

command::handle command_impl::execute_async() {
    using handle_impl = async_operation_handle_impl<reply>;
    auto start = [this, data = m_data](const handle_impl::ptr&,
                                       std::weak_ptr<handle_impl> _weak_handle) {
        m_async.run_command(data->m_argv, data->m_argv_len,
                            [weak_handle = std::move(_weak_handle)](reply _reply) {
                                if (const auto handle = weak_handle.lock()) {
                                    handle->return_result(std::move(_reply));
                                }
                            });
    };
    auto handle = handle_impl::create(m_events_loop, std::move(start));
    handle->start();
    return handle;
}

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
