#pragma once

#include <azmq/detail/receive_operation.hpp>

#include <utility>

namespace azmq {
namespace detail {

// The pending receives of one socket, first started first served, linked through the
// operations themselves so that queueing allocates nothing.
class receive_queue {
public:
    receive_queue() = default;

    receive_queue(receive_queue&& _other) noexcept
        : m_front(std::exchange(_other.m_front, nullptr))
        , m_back(std::exchange(_other.m_back, nullptr)) {}

    receive_queue(const receive_queue&) = delete;
    receive_queue& operator=(const receive_queue&) = delete;

    bool empty() const noexcept { return m_front == nullptr; }

    receive_operation* front() const noexcept { return m_front; }

    void push(receive_operation* _operation) noexcept {
        _operation->m_next = nullptr;
        if (m_back == nullptr) {
            m_front = _operation;
        } else {
            m_back->m_next = _operation;
        }
        m_back = _operation;
    }

    // Removes and returns the first operation, or nullptr when there is none.
    receive_operation* pop() noexcept {
        receive_operation* operation = m_front;
        if (operation != nullptr) {
            m_front = operation->m_next;
            if (m_front == nullptr) {
                m_back = nullptr;
            }
            operation->m_next = nullptr;
        }
        return operation;
    }

private:
    receive_operation* m_front = nullptr;
    receive_operation* m_back = nullptr;
};

}  // namespace detail
}  // namespace azmq
