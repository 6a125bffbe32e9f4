#pragma once

#include <core/exception.h>
#include <core/source_location.h>

#include <string>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace detail {

// A callback that may be replaced, or whose owner may be destroyed, from inside its own call:
// the running callback stays whole until it returns, and a replacement set meanwhile takes
// its place then. It lives in a block shared with the completions that call it, so that the
// object that owns the block may go while the call runs.
template <class Callback>
class callback_slot {
public:
    bool empty() const { return !m_callback; }

    // Sets _callback and tells whether it is the first, which is when the owner starts its
    // deliveries. An empty one is refused with exception(_owner + ": the callback is empty",
    // _location) and changes nothing: a delivery armed with nobody to deliver to, or two armed
    // at once, would serve nobody.
    bool install(Callback _callback, const char* _owner, source_location _location) {
        if (!_callback) {
            throw exception(std::string(_owner) + ": the callback is empty", _location);
        }
        const bool first = empty();
        set(std::move(_callback));
        return first;
    }

    void set(Callback _callback) {
        if (m_running) {
            m_next = std::move(_callback);
        } else {
            m_callback = std::move(_callback);
        }
    }

    template <class... Args>
    void operator()(Args&&... _args) {
        const running call(*this);
        m_callback(std::forward<Args>(_args)...);
    }

private:
    class running {
    public:
        explicit running(callback_slot& _slot) : m_slot(_slot) { m_slot.m_running = true; }
        ~running() {
            m_slot.m_running = false;
            if (m_slot.m_next) {
                m_slot.m_callback = std::move(m_slot.m_next);
                m_slot.m_next = nullptr;
            }
        }
        running(const running&) = delete;
        running& operator=(const running&) = delete;

    private:
        callback_slot& m_slot;
    };

    Callback m_callback;
    Callback m_next;
    bool m_running = false;
};

}  // namespace detail
}  // namespace core
}  // namespace libs
}  // namespace zel
