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
// thread that runs the io_context: a receive re-armed by its own handler reuses a block an
// earlier one has freed, so steady receiving does not reach malloc.
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
        const auto executor = boost::asio::get_associated_executor(self->m_handler, _io_executor);
        if constexpr (std::is_same_v<std::decay_t<decltype(executor)>, executor_type>) {
            // Already running on this io_context: the handler is called in place, on the frame
            // the operation holds, which saves moving both. The block is freed only afterwards,
            // so the receive the handler usually starts takes the recycling allocator's other
            // cached block, and the two alternate without reaching malloc.
            if (_delivery == delivery::dispatch && executor == _io_executor) {
                const destroyer on_exit{self, allocator_type(get_allocator(self->m_handler))};
                self->m_handler(self->m_error, self->m_frame, self->m_bytes);
                return;
            }
        }
        // Free the operation before the upcall, so that the receive the handler usually starts
        // gets this very block back.
        receive_completion<Handler> completion(std::move(self->m_handler), std::move(self->m_frame),
                                               self->m_error, self->m_bytes);
        destroy(self, allocator_type(get_allocator(completion.handler())));
        if (_delivery == delivery::post) {
            boost::asio::post(executor, std::move(completion));
            return;
        }
        boost::asio::dispatch(executor, std::move(completion));
    }

    // The allocator comes from wherever the handler is by then.
    static void destroy(receive_handler_operation* _self, allocator_type _allocator) noexcept {
        _self->~receive_handler_operation();
        allocator_traits::deallocate(_allocator, _self, 1);
    }

    // Frees the operation when the handler called in place returns or throws. The allocator
    // is taken before the upcall, which may leave the handler moved from.
    struct destroyer {
        receive_handler_operation* self;
        allocator_type allocator;
        ~destroyer() { destroy(self, allocator); }
    };

    Handler m_handler;
};

}  // namespace detail
}  // namespace azmq
