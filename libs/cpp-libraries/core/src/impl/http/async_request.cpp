#include <core/impl/http/async_request.h>

#include <core/exception_to_string.h>
#include <core/impl/events_loop/memory_bound_handler.h>
#include <core/impl/http/client_impl.h>

#include <boost/asio/post.hpp>

#include <chrono>
#include <string>
#include <type_traits>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace http {

namespace {

template <class Function>
void post_in(handler_memory& _memory, boost::asio::io_context& _io_context, Function&& _function) {
    boost::asio::post(_io_context, memory_bound_handler<typename std::decay<Function>::type>(
                                       _memory, std::forward<Function>(_function)));
}

}  // namespace

async_request::async_request(const client_impl& _client, boost::asio::io_context& _workers,
                             boost::asio::io_context& _loop, method _method, std::string _address,
                             std::string _body, headers _headers, badge<client_impl>)
    : m_client(_client)
    , m_workers(_workers)
    , m_loop(_loop)
    , m_method(_method)
    , m_address(std::move(_address))
    , m_body(std::move(_body))
    , m_headers(std::move(_headers)) {}

void async_request::start() {
    m_completed = false;
    m_deadline = m_client.deadline_from_now();
    if (!m_client.enqueue()) {
        finish(shared_from_this(),
               result("refused: the queue of " + std::to_string(client::max_queued_requests) +
                      " requests waiting for a worker is full; not sent"));
        return;
    }
    post_in(m_handler_memory, m_workers,
            [self = shared_from_this()]() mutable { perform(std::move(self)); });
}

void async_request::perform(ptr _self) {
    async_request& request = *_self;
    request.m_client.dequeue();
    // Dropped by its caller before the transfer: released on the loop's thread.
    if (_self.use_count() == 1) {
        post_in(request.m_handler_memory, request.m_loop, [self = std::move(_self)] {});
        return;
    }
    result outcome = [&] {
        // Workers take requests in the order they were made, all with the client's one
        // time-out: a worker is free by the deadline of the request it took last, which is no
        // later than this one's. So a request that waits past its deadline fails at it, without
        // a timer of its own.
        if (std::chrono::steady_clock::now() >= request.m_deadline) {
            return request.m_client.timed_out_in_queue();
        }
        try {
            return request.m_client.perform_request_impl(request.m_method, request.m_address,
                                                         request.m_body, request.m_headers,
                                                         request.m_deadline);
        } catch (...) {
            // A worker has nobody to hand an exception to: the request's owner
            // gets it as its failure.
            return result(exception_to_string());
        }
    }();
    finish(std::move(_self), std::move(outcome));
}

void async_request::finish(ptr _self, result _result) {
    async_request& request = *_self;
    // Before the hand-off: once it is queued, the callback may restart the
    // request, and a mark set afterwards would hide the new run.
    request.m_completed = true;
    post_in(request.m_handler_memory, request.m_loop,
            [self = std::move(_self), outcome = std::move(_result)]() mutable {
                deliver(self, std::move(outcome));
            });
}

void async_request::deliver(const ptr& _self, result _result) {
    // Dropped by its caller during the transfer: the result goes with it.
    if (_self.use_count() == 1 || !_self->m_callback) {
        return;
    }
    // A copy runs, so that the callback may replace itself.
    auto callback = _self->m_callback;
    callback(std::move(_result));
}

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
