#include <core/impl/events_loop/core_impl.h>

#include <core/ignore_broken_pipes.h>
#include <core/impl/events_loop/events_loop_impl.h>
#include <core/logger.h>

namespace zel {
namespace libs {
namespace core {

core::ptr core::create(const logger& _logger) {
    return std::make_unique<core_impl>(_logger);
}

core_impl::core_impl(const logger& _logger) : m_logger(_logger.component("core")) {
    // Every service stands on a core, so none dies of a peer or a reader gone.
    ignore_broken_pipes();
}

events_loop::ptr core_impl::create_events_loop(const std::string&) {
    // The name is for the reader of the calling code; nothing here needs it.
    return std::make_unique<events_loop_impl>(*this, *m_logger);
}

}  // namespace core
}  // namespace libs
}  // namespace zel
