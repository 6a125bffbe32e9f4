#pragma once

#include <atomic>
#include <cstddef>
#include <new>

namespace zel {
namespace libs {
namespace core {

// Room for one queued Asio handler of an object that hands itself from thread
// to thread one step at a time, so that each hand-off allocates nothing. Asio
// frees a handler's memory before running it, so the next step's handler may
// take the room again. A handler posted while the room is taken, or larger than
// it, goes to the heap.
class handler_memory {
public:
    static constexpr std::size_t size = 192;

    handler_memory() = default;
    handler_memory(const handler_memory&) = delete;
    handler_memory& operator=(const handler_memory&) = delete;

    // Safe from any thread.
    void* allocate(std::size_t _bytes) {
        if (_bytes <= size && !m_in_use.exchange(true, std::memory_order_acquire)) {
            return m_storage;
        }
        return ::operator new(_bytes);
    }
    void deallocate(void* _memory) {
        if (_memory == m_storage) {
            m_in_use.store(false, std::memory_order_release);
        } else {
            ::operator delete(_memory);
        }
    }

private:
    alignas(std::max_align_t) unsigned char m_storage[size];
    std::atomic_bool m_in_use{false};
};

}  // namespace core
}  // namespace libs
}  // namespace zel
