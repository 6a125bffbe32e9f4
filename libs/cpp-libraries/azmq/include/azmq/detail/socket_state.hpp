#pragma once

#include <azmq/detail/context.hpp>
#include <azmq/detail/frame_size.hpp>
#include <azmq/detail/read_events.hpp>
#include <azmq/detail/receive_operation.hpp>
#include <azmq/detail/receive_queue.hpp>
#include <azmq/detail/socket_mutex.hpp>
#include <azmq/error.hpp>
#include <azmq/turn_budget.hpp>

#include <zmq.h>

#include <boost/asio/defer.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/system/error_code.hpp>
#include <boost/system/system_error.hpp>

#include <cerrno>
#include <cstddef>
#include <memory>
#include <mutex>

namespace azmq {
namespace detail {

// A libzmq socket with its pending receives and their readiness tracking. A socket object
// owns it through a shared pointer; the callbacks it schedules on the io_context hold weak
// ones, so that nothing runs against a socket after it has been destroyed.
//
// libzmq signals input through the descriptor ZMQ_FD, edge-triggered: the descriptor becomes
// readable when commands reach the socket's mailbox and is drained by any libzmq call that
// processes them (send, receive, ZMQ_EVENTS, bind, ...), even when those commands made frames
// available. So the descriptor is waited on only right after a non-blocking receive has
// failed with EAGAIN (which processed the mailbox: whatever arrives later signals again), and
// after every other call on the socket while a receive waits, ZMQ_EVENTS tells whether a
// frame has become available without a signal.
//
// Completed receives are delivered by a runner that executes on the io_context: it takes the
// first pending receive, tries a non-blocking zmq_msg_recv and calls the handler. A handler
// that starts the next receive finds the runner active and only queues it; the runner then
// serves it in the same turn, so a steady stream of frames costs one pass through the
// io_context per batch of frames instead of one per frame. At most one runner is active per
// socket, and the runner, the descriptor wait and the queue are guarded by the socket's mutex.
//
// With commands processed on arrival, the descriptor is also waited on while no receive is
// pending, and a signal then only reads ZMQ_EVENTS: the commands are processed within one
// pass through the io_context of their arrival, at the cost of a few system calls per signal,
// and a signal comes only when a command finds the mailbox drained.
class socket_state : public std::enable_shared_from_this<socket_state> {
public:
    using executor_type = boost::asio::io_context::executor_type;

    socket_state(boost::asio::io_context& _io_context, int _type, bool _optimize_single_threaded)
        : m_context(context::shared())
        , m_executor(_io_context.get_executor())
        , m_mutex(!_optimize_single_threaded)
        , m_handle(zmq_socket(m_context->handle(), _type))
        , m_descriptor(_io_context) {
        if (m_handle == nullptr) {
            throw boost::system::system_error(last_error(), "zmq_socket");
        }
        int descriptor = -1;
        std::size_t size = sizeof descriptor;
        boost::system::error_code error;
        if (zmq_getsockopt(m_handle, ZMQ_FD, &descriptor, &size) != 0) {
            error = last_error();
        } else {
            // The descriptor stays libzmq's: it is released, never closed, in close().
            m_descriptor.assign(descriptor, error);
        }
        if (error) {
            zmq_close(m_handle);
            throw boost::system::system_error(error, "ZMQ_FD");
        }
    }

    ~socket_state() { close(); }

    socket_state(const socket_state&) = delete;
    socket_state& operator=(const socket_state&) = delete;

    void* handle() const noexcept { return m_handle; }

    const executor_type& executor() const noexcept { return m_executor; }

    // Runs _call(handle) under the socket's lock and returns its result. The call may have
    // drained the descriptor's signal, so a waiting receive is checked afterwards.
    template <typename Call>
    auto call(Call&& _call) {
        std::lock_guard<socket_mutex> lock(m_mutex);
        auto result = _call(m_handle);
        recheck_waiting_receive();
        return result;
    }

    // Queues _operation. When no receive is ahead of it, a frame already available is taken
    // at once and the completion handed to the io_context; otherwise the descriptor is
    // waited on.
    void start_receive(receive_operation* _operation) {
        std::lock_guard<socket_mutex> lock(m_mutex);
        m_queue.push(_operation);
        if (m_runner_active || m_queue.front() != _operation) {
            return;
        }
        if (try_receive(*_operation)) {
            schedule_runner();
        } else {
            arm_wait();
        }
    }

    // Starts or stops waiting on the descriptor while no receive is pending, to process the
    // commands that arrive meanwhile.
    void process_commands_on_arrival(bool _enabled) {
        std::lock_guard<socket_mutex> lock(m_mutex);
        if (m_closed) {
            return;
        }
        m_commands_on_arrival = _enabled;
        // While receives are pending the wait is theirs; the runner decides when they end.
        if (m_runner_active || !m_queue.empty()) {
            return;
        }
        if (_enabled) {
            arm_wait();
        } else if (m_wait_armed) {
            boost::system::error_code ignored;
            m_descriptor.cancel(ignored);
        }
    }

    // Completes every receive still waiting for a frame with operation_aborted. A receive that
    // already holds its frame is delivered with it rather than losing the frame.
    void cancel(boost::system::error_code& _error) {
        receive_queue aborted = take_waiting_receives(_error);
        while (receive_operation* operation = aborted.pop()) {
            operation->set_result(boost::asio::error::operation_aborted, 0);
            operation->complete(receive_operation::delivery::post, m_executor);
        }
    }

    // Closes the libzmq socket, with linger 0 (frames not yet sent are dropped) unless one was set,
    // and hands every pending receive to the io_context: completed ones with their result, the
    // others with operation_aborted.
    void close() noexcept {
        receive_queue pending = shut_down();
        while (receive_operation* operation = pending.pop()) {
            if (!operation->has_result()) {
                operation->set_result(boost::asio::error::operation_aborted, 0);
            }
            operation->complete(receive_operation::delivery::post, m_executor);
        }
    }

private:
    // Frames one runner turn delivers at most before it yields to the io_context's other
    // handlers, unless their handlers take a millisecond first (see turn_budget).
    static constexpr int batch_size = 64;

    // Tries to give _operation its frame without blocking. Returns false when none is
    // available, with the mailbox drained so that the descriptor signals the next arrival.
    bool try_receive(receive_operation& _operation) {
        for (;;) {
            const int size = zmq_msg_recv(_operation.frame().native_handle(), m_handle,
                                          _operation.flags() | ZMQ_DONTWAIT);
            if (size >= 0) {
                _operation.set_result({}, frame_size(size, _operation.frame()));
                return true;
            }
            const int error = zmq_errno();
            if (error == EAGAIN) {
                return false;
            }
            if (error == EFSM) {
                // A REQ socket before its request is sent, or a REP socket before its reply:
                // the receive becomes possible after a send, so it waits rather than fails.
                // libzmq refuses it without processing the mailbox; ZMQ_EVENTS does that.
                input_available();
                return false;
            }
            // EINTR: interrupted while processing the mailbox, which may not be drained yet.
            if (error != EINTR) {
                _operation.set_result(make_error_code(error), 0);
                return true;
            }
        }
    }

    // Reads ZMQ_EVENTS, which processes the mailbox, and tells whether a frame can be received.
    // A failure counts as input, so that the next receive reports it.
    bool input_available() {
        boost::system::error_code error;
        const int events = read_events(m_handle, error);
        return error || (events & ZMQ_POLLIN) != 0;
    }

    void recheck_waiting_receive() {
        if (!m_runner_active && !m_queue.empty() && input_available()) {
            schedule_runner();
        }
    }

    void arm_wait() {
        if (m_wait_armed) {
            return;
        }
        m_descriptor.async_wait(boost::asio::posix::stream_descriptor::wait_read,
                                [weak = weak_from_this()](const boost::system::error_code&) {
                                    if (const auto self = weak.lock()) {
                                        self->on_readable();
                                    }
                                });
        m_wait_armed = true;
    }

    // Deferred rather than posted: called from a handler on the io_context's thread, the runner
    // goes to that thread's private queue without taking the scheduler's lock.
    void schedule_runner() {
        boost::asio::defer(m_executor, [weak = weak_from_this()] {
            if (const auto self = weak.lock()) {
                self->run();
            }
        });
        m_runner_active = true;
    }

    // The descriptor wait has ended, by a signal or by a cancellation: either way the runner
    // looks at the queue again, and re-arms the wait if a receive still needs it. Without a
    // receive, the signal was for commands: ZMQ_EVENTS processes them and drains it.
    void on_readable() {
        {
            std::lock_guard<socket_mutex> lock(m_mutex);
            m_wait_armed = false;
            if (m_closed || m_runner_active) {
                return;
            }
            if (m_queue.empty()) {
                if (m_commands_on_arrival) {
                    input_available();
                    arm_wait();
                }
                return;
            }
            m_runner_active = true;
        }
        run();
    }

    void run() {
        turn_budget budget(batch_size);
        for (;;) {
            receive_operation* operation = next_completed();
            if (operation == nullptr) {
                return;
            }
            try {
                operation->complete(receive_operation::delivery::dispatch, m_executor);
            } catch (...) {
                // The exception leaves the io_context's run(); the receives the handler has
                // queued are served when the io_context runs again.
                std::lock_guard<socket_mutex> lock(m_mutex);
                if (!m_closed) {
                    schedule_runner();
                }
                throw;
            }
            // A handler that stopped the io_context ends its run() once it returns, as any
            // handler's stop() does: the frames ready behind it wait for the next run().
            if (m_executor.context().stopped() || !budget.spend()) {
                break;
            }
        }
        std::lock_guard<socket_mutex> lock(m_mutex);
        if (!m_closed) {
            schedule_runner();
        }
    }

    // The first receive with its result, removed from the queue, or nullptr when the runner
    // ends: the queue is empty, or its first receive waits on the descriptor.
    receive_operation* next_completed() {
        std::lock_guard<socket_mutex> lock(m_mutex);
        if (m_closed) {
            return nullptr;
        }
        receive_operation* front = m_queue.front();
        if (front == nullptr) {
            m_runner_active = false;
            // The wait now serves commands, if they are processed on arrival; otherwise, left
            // armed with nobody to serve, it would keep the io_context's run() from returning,
            // and its cancellation ends in on_readable() like any wake-up.
            if (m_commands_on_arrival) {
                arm_wait();
            } else if (m_wait_armed) {
                boost::system::error_code ignored;
                m_descriptor.cancel(ignored);
            }
            return nullptr;
        }
        if (!front->has_result() && !try_receive(*front)) {
            m_runner_active = false;
            arm_wait();
            return nullptr;
        }
        return m_queue.pop();
    }

    receive_queue take_waiting_receives(boost::system::error_code& _error) {
        std::lock_guard<socket_mutex> lock(m_mutex);
        receive_operation* completed = nullptr;
        if (!m_queue.empty() && m_queue.front()->has_result()) {
            completed = m_queue.pop();
        }
        receive_queue waiting(std::move(m_queue));
        _error = {};
        if (completed != nullptr) {
            m_queue.push(completed);
        } else if (m_wait_armed) {
            m_descriptor.cancel(_error);
        }
        return waiting;
    }

    receive_queue shut_down() noexcept {
        std::lock_guard<socket_mutex> lock(m_mutex);
        if (m_closed) {
            return receive_queue();
        }
        m_closed = true;
        // Unregisters the descriptor from the io_context (cancelling the wait) without closing
        // it, before libzmq closes it.
        m_descriptor.release();
        int linger = 0;
        std::size_t size = sizeof linger;
        // libzmq's own default, -1, would wait for ever.
        if (zmq_getsockopt(m_handle, ZMQ_LINGER, &linger, &size) != 0 || linger < 0) {
            linger = 0;
            zmq_setsockopt(m_handle, ZMQ_LINGER, &linger, sizeof linger);
        }
        zmq_close(m_handle);
        return receive_queue(std::move(m_queue));
    }

    const std::shared_ptr<context> m_context;
    const executor_type m_executor;
    socket_mutex m_mutex;
    void* const m_handle;
    boost::asio::posix::stream_descriptor m_descriptor;
    receive_queue m_queue;
    bool m_wait_armed = false;
    bool m_runner_active = false;
    bool m_closed = false;
    bool m_commands_on_arrival = false;
};

}  // namespace detail
}  // namespace azmq
