#pragma once

#include <core/async_operation_handle.h>
#include <core/badge.h>
#include <core/events_loop.h>
#include <core/source_location.h>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

namespace zel {
namespace libs {
namespace core {

// The operation's side of a handle. The operation refers to the handle through
// the weak pointer its start function receives, so that a handle dropped by its
// owner drops the result too; or through the shared one, to keep the handle
// alive while it runs.
template <class T>
class async_operation_handle_impl
    : public async_operation_handle<T>,
      public std::enable_shared_from_this<async_operation_handle_impl<T>> {
public:
    using ptr = std::shared_ptr<async_operation_handle_impl<T>>;
    // Begins the operation and returns; it must call return_result exactly
    // once per start.
    using start_function = std::function<void(ptr, std::weak_ptr<async_operation_handle_impl<T>>)>;

    // Reached only through create, as the handle must live in a shared pointer.
    async_operation_handle_impl(events_loop& _events_loop, start_function _start_function,
                                badge<async_operation_handle_impl<T>>)
        : m_events_loop(_events_loop), m_start_function(std::move(_start_function)) {}

    // Does not start the operation: the provider calls start() before handing
    // the handle out.
    static ptr create(events_loop& _events_loop, start_function _start_function) {
        return std::make_shared<async_operation_handle_impl<T>>(
            _events_loop, std::move(_start_function), badge<async_operation_handle_impl<T>>());
    }

    void start() {
        m_completed = false;
        m_start_function(this->shared_from_this(), this->weak_from_this());
    }

    bool is_complete() const override { return m_completed; }
    void restart() override { start(); }

    // Safe from any thread. The result goes through the loop's queue even when
    // it comes from the loop's own thread, so a callback set after start()
    // returned still receives a result produced inside start().
    void return_result(T&& _result) {
        // The queue copies its tasks, and the result may be move-only: it
        // travels in a holder of its own and is moved out once, on delivery.
        auto holder = std::make_shared<T>(std::move(_result));
        // Before the post: once it is queued, the callback may restart the
        // handle, and a mark set afterwards would hide the new run.
        m_completed = true;
        std::weak_ptr<async_operation_handle_impl<T>> weak_handle = this->weak_from_this();
        m_events_loop.post(
            [weak_handle = std::move(weak_handle), holder = std::move(holder)] {
                const auto handle = weak_handle.lock();
                if (!handle || !handle->m_callback) {
                    return;
                }
                T result(std::move(*holder));
                // A copy runs, so that the callback may replace itself.
                auto callback = handle->m_callback;
                callback(std::move(result));
            },
            source_location());
    }

private:
    events_loop& m_events_loop;
    std::atomic_bool m_completed{false};
    start_function m_start_function;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
