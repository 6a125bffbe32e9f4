#pragma once

#include <azmq/message.hpp>

#include <boost/system/error_code.hpp>

#include <cstddef>
#include <utility>

namespace azmq {
namespace detail {

// A receive handler bound to its result, ready to run on the handler's executor. The error
// code is passed as an lvalue so that a handler may take it by non-const reference.
template <typename Handler>
class receive_completion {
public:
    receive_completion(Handler&& _handler, message&& _frame,
                       const boost::system::error_code& _error, std::size_t _bytes)
        : m_handler(std::move(_handler))
        , m_frame(std::move(_frame))
        , m_error(_error)
        , m_bytes(_bytes) {}

    void operator()() { m_handler(m_error, m_frame, m_bytes); }

    Handler& handler() noexcept { return m_handler; }

private:
    Handler m_handler;
    message m_frame;
    boost::system::error_code m_error;
    std::size_t m_bytes;
};

}  // namespace detail
}  // namespace azmq
