#pragma once

#include <core/impl/events_loop/handler_memory.h>

#include <cstddef>

namespace zel {
namespace libs {
namespace core {

// The allocator Asio uses for a handler bound to it (boost::asio::bind_allocator):
// its memory comes from a handler_memory that outlives the handler.
template <class T>
class handler_allocator {
public:
    using value_type = T;

    explicit handler_allocator(handler_memory& _memory) noexcept : m_memory(&_memory) {}
    template <class U>
    handler_allocator(const handler_allocator<U>& _other) noexcept : m_memory(_other.memory()) {}

    T* allocate(std::size_t _count) {
        return static_cast<T*>(m_memory->allocate(sizeof(T) * _count));
    }
    void deallocate(T* _pointer, std::size_t) noexcept { m_memory->deallocate(_pointer); }

    handler_memory* memory() const noexcept { return m_memory; }

    template <class U>
    bool operator==(const handler_allocator<U>& _other) const noexcept {
        return m_memory == _other.memory();
    }
    template <class U>
    bool operator!=(const handler_allocator<U>& _other) const noexcept {
        return m_memory != _other.memory();
    }

private:
    handler_memory* m_memory;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
