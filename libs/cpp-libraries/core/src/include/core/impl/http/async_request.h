#pragma once

#include <core/async_operation_handle.h>
#include <core/badge.h>
#include <core/http/headers.h>
#include <core/http/method.h>
#include <core/http/result.h>
#include <core/impl/events_loop/handler_memory.h>

#include <boost/asio/io_context.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

namespace zel {
namespace libs {
namespace core {
namespace http {

class client_impl;

// One asynchronous request of a client: the handle its caller holds, what the
// request sends, and room for its hand-offs to a worker and back, in a single
// allocation. The work queued for it holds it and always ends on the loop's
// thread, so that it is released there, where its callback belongs. A request
// that nothing but its queued work holds has been dropped by its caller: it is
// neither performed nor delivered.
class async_request final : public async_operation_handle<result>,
                            public std::enable_shared_from_this<async_request> {
public:
    using ptr = std::shared_ptr<async_request>;

    // Made by the client only, in a shared pointer; _workers run the transfers
    // and _loop delivers the results.
    async_request(const client_impl& _client, boost::asio::io_context& _workers,
                  boost::asio::io_context& _loop, method _method, std::string _address,
                  std::string _body, headers _headers, badge<client_impl>);

    bool is_complete() const override { return m_completed; }
    void restart() override { start(); }

    // Queues the request for a worker.
    void start();

private:
    static void perform(ptr _self);
    // Marks the request complete and hands _result to the loop.
    static void finish(ptr _self, result _result);
    static void deliver(const ptr& _self, result _result);

    const client_impl& m_client;
    boost::asio::io_context& m_workers;
    boost::asio::io_context& m_loop;
    const method m_method;
    const std::string m_address;
    const std::string m_body;
    const headers m_headers;
    // From the last start; read by the worker that the start's hand-off reaches.
    std::chrono::steady_clock::time_point m_deadline;
    std::atomic_bool m_completed{false};
    handler_memory m_handler_memory;
};

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
