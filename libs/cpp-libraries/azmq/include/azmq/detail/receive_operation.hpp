#pragma once

#include <azmq/message.hpp>

#include <boost/asio/io_context.hpp>
#include <boost/system/error_code.hpp>

#include <cstddef>

namespace azmq {
namespace detail {

class receive_queue;

// One pending asynchronous receive: the frame it fills, its result once it has one, and the
// handler behind a function pointer (no virtual call, no std::function).
class receive_operation {
public:
    using executor_type = boost::asio::io_context::executor_type;

    // How the result reaches the handler: dispatch when the caller already runs on the
    // socket's io_context, post from anywhere else.
    enum class delivery { dispatch, post };

    receive_operation(const receive_operation&) = delete;
    receive_operation& operator=(const receive_operation&) = delete;

    message& frame() noexcept { return m_frame; }

    int flags() const noexcept { return m_flags; }

    bool has_result() const noexcept { return m_has_result; }

    void set_result(const boost::system::error_code& _error, std::size_t _bytes) noexcept {
        m_error = _error;
        m_bytes = _bytes;
        m_has_result = true;
    }

    // Hands the result to the handler and frees the operation.
    void complete(delivery _delivery, const executor_type& _io_executor) {
        m_complete(this, _delivery, _io_executor);
    }

protected:
    using complete_function = void (*)(receive_operation*, delivery, const executor_type&);

    receive_operation(int _flags, complete_function _complete) noexcept
        : m_flags(_flags), m_complete(_complete) {}

    ~receive_operation() = default;

    message m_frame;
    boost::system::error_code m_error;
    std::size_t m_bytes = 0;

private:
    friend class receive_queue;

    const int m_flags;
    bool m_has_result = false;
    complete_function m_complete;
    receive_operation* m_next = nullptr;
};

}  // namespace detail
}  // namespace azmq
