#pragma once

#include <azmq/detail/receive_completion.hpp>
#include <azmq/detail/receive_operation.hpp>

#include <boost/asio/associated_allocator.hpp>
#include <boost/asio/associated_executor.hpp>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/recycling_allocator.hpp>

#include <memory>
#include <type_traits>
#include <utility>

namespace azmq {
namespace detail {

// A receive operation holding its handler, allocated once through the handler's associated
// allocator. Without one it uses Asio's recycling allocator, which keeps freed blocks in the
// thread that runs the io_context: a receive re-armed by its own handler reuses the block the
// completed one has just freed, so steady receiving does not reach malloc.
template <typename Handler>
class receive_handler_operation final : public receive_operation {
public:
    static receive_operation* create(Handler _handler, int _flags) {
        allocator_type allocator(get_allocator(_handler));
        receive_handler_operation* memory = allocator_traits::allocate(allocator, 1);
        try {
            return new (memory) receive_handler_operation(std::move(_handler), _flags);
        } catch (...) {
            allocator_traits::deallocate(allocator, memory, 1);
            throw;
        }
    }

private:
    using allocator_type = typename std::allocator_traits<
        boost::asio::associated_allocator_t<Handler, boost::asio::recycling_allocator<void>>>::
        template rebind_alloc<receive_handler_operation>;
    using allocator_traits = std::allocator_traits<allocator_type>;

    receive_handler_operation(Handler&& _handler, int _flags)
        : receive_operation(_flags, &do_complete), m_handler(std::move(_handler)) {}

    static auto get_allocator(const Handler& _handler) {
        return boost::asio::get_associated_allocator(_handler,
                                                     boost::asio::recycling_allocator<void>());
    }

    static void do_complete(receive_operation* _base, delivery _delivery,
                            const executor_type& _io_executor) {
        auto* self = static_cast<receive_handler_operation*>(_base);
        // Free the operation before the upcall, so that the receive the handler usually starts
        // gets this very block back.
        receive_completion<Handler> completion(std::move(self->m_handler), std::move(self->m_frame),
                                               self->m_error, self->m_bytes);
        allocator_type allocator(get_allocator(completion.handler()));
        self->~receive_handler_operation();
        allocator_traits::deallocate(allocator, self, 1);

        const auto executor =
            boost::asio::get_associated_executor(completion.handler(), _io_executor);
        if (_delivery == delivery::post) {
            boost::asio::post(executor, std::move(completion));
            return;
        }
        if constexpr (std::is_same_v<std::decay_t<decltype(executor)>, executor_type>) {
            // Already running on this io_context: call straight away, as dispatch would, but
            // without moving the result once more.
            if (executor == _io_executor) {
                completion();
                return;
            }
        }
        boost::asio::dispatch(executor, std::move(completion));
    }

    Handler m_handler;
};

}  // namespace detail
}  // namespace azmq
