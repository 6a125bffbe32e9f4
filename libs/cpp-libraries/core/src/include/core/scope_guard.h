#pragma once

#include <memory>
#include <type_traits>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace detail {

// Type-erased base, so that guards of every callable share one owner type.
class scope_guard {
public:
    virtual ~scope_guard() = default;
};

template <class F>
class scope_guard_impl : public scope_guard {
public:
    explicit scope_guard_impl(F&& _callback) : m_callback(std::move(_callback)) {}
    ~scope_guard_impl() override {
        if (m_should_execute) {
            m_callback();
        }
    }

    scope_guard_impl(const scope_guard_impl&) = delete;
    scope_guard_impl& operator=(const scope_guard_impl&) = delete;

private:
    bool m_should_execute = true;
    F m_callback;
};

}  // namespace detail

// Runs its callable once, when the owning pointer is destroyed or reset; moving
// the pointer moves that moment with it. The callable must not throw.
using scope_guard = std::unique_ptr<detail::scope_guard>;

template <class F>
scope_guard make_scope_guard(F&& _callback) {
    using callable = std::decay_t<F>;
    return std::make_unique<detail::scope_guard_impl<callable>>(
        callable(std::forward<F>(_callback)));
}

}  // namespace core
}  // namespace libs
}  // namespace zel
