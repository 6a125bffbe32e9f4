#pragma once

#include <azmq/error.hpp>

#include <zmq.h>

#include <boost/system/system_error.hpp>

#include <cerrno>
#include <memory>

namespace azmq {
namespace detail {

// A libzmq context, terminated when destroyed.
class context {
public:
    // libzmq's threads that move the bytes of every connection and run its handshakes. Two, so
    // that sockets kept on one of them (socket::affinity) are not held up by the other's work: a
    // CURVE handshake costs its thread nearly a millisecond, and a flood of them at one
    // endpoint would otherwise delay every established connection of the process.
    static constexpr int io_threads = 2;

    // Before the first socket, which starts the threads.
    context() : m_handle(zmq_ctx_new()) {
        if (m_handle == nullptr) {
            throw boost::system::system_error(last_error(), "zmq_ctx_new");
        }
        if (zmq_ctx_set(m_handle, ZMQ_IO_THREADS, io_threads) != 0) {
            const auto error = last_error();
            zmq_ctx_term(m_handle);
            throw boost::system::system_error(error, "zmq_ctx_set");
        }
    }

    ~context() {
        while (zmq_ctx_term(m_handle) != 0 && zmq_errno() == EINTR) {
        }
    }

    context(const context&) = delete;
    context& operator=(const context&) = delete;

    void* handle() const noexcept { return m_handle; }

    // The context every socket of the process shares, so that inproc endpoints reach each
    // other. Each socket holds a reference: zmq_ctx_term waits for every socket of the context
    // to close, so the context must go after the last socket whatever the order in which
    // static objects are destroyed at exit.
    static std::shared_ptr<context> shared() {
        static const std::shared_ptr<context> instance = std::make_shared<context>();
        return instance;
    }

private:
    void* m_handle;
};

}  // namespace detail
}  // namespace azmq
