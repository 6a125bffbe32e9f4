#pragma once

#include <core/impl/events_loop/handler_allocator.h>
#include <core/impl/events_loop/handler_memory.h>

#include <utility>

namespace zel {
namespace libs {
namespace core {

// A handler that Asio queues in a handler_memory. It names its allocator as
// a member rather than through boost::asio::bind_allocator, whose wrapper Asio
// takes for a handler of another executor, and then tracks as extra work on
// every hand-off.
template <class Function>
class memory_bound_handler {
public:
    using allocator_type = handler_allocator<void>;

    memory_bound_handler(handler_memory& _memory, Function _function)
        : m_allocator(_memory), m_function(std::move(_function)) {}

    allocator_type get_allocator() const noexcept { return m_allocator; }
    void operator()() { m_function(); }

private:
    allocator_type m_allocator;
    Function m_function;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
