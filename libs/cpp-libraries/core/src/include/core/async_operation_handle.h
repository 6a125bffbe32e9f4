#pragma once

#include <functional>
#include <memory>
#include <utility>

namespace zel {
namespace libs {
namespace core {

// The result of a one-shot asynchronous operation, delivered once per start to
// the callback on the thread of the events loop the handle belongs to, never
// inside the call that produced it.
template <class T>
class async_operation_handle {
public:
    using callback = std::function<void(T)>;
    using void_callback = std::function<void()>;
    using ptr = std::shared_ptr<async_operation_handle<T>>;

    virtual ~async_operation_handle() = default;

    // May be read from any thread; true once the result is on its way.
    virtual bool is_complete() const = 0;
    // Runs the operation again; its result goes to the same callback.
    virtual void restart() = 0;

    // Replaces any earlier callback. Without one, results are dropped.
    void set_callback(callback _callback) { m_callback = std::move(_callback); }
    // For a caller that only wants to know when the operation is done: the
    // result is dropped when the callback has run. An empty one stays empty,
    // so results are dropped rather than failing on delivery.
    void set_callback(void_callback _callback) {
        if (_callback) {
            m_callback = [f = std::move(_callback)](T) { f(); };
        } else {
            m_callback = nullptr;
        }
    }
    callback& get_callback() { return m_callback; }

protected:
    callback m_callback;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
