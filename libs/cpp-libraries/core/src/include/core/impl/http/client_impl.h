#pragma once

#include <core/component_logger.h>
#include <core/events_loop.h>
#include <core/http/client.h>
#include <core/impl/http/easy_handle_pool.h>
#include <core/impl/http/shared_curl_data.h>

#include <boost/asio/thread_pool.hpp>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <vector>

namespace zel {
namespace libs {
namespace core {

class core;

namespace http {

class client_impl : public client {
public:
    // Starts _num_threads worker threads (at least one); asynchronous results
    // are delivered on _main_events_loop.
    client_impl(events_loop& _main_events_loop, core& _core, const component_logger& _logger,
                const std::string& _address, std::chrono::seconds _timeout,
                const std::vector<method>& _disabled_methods, int _num_threads);
    // Waits for the transfers in progress, then performs the queued requests on
    // this thread; 10 seconds after it began, whatever transfer still runs is
    // aborted, also with a time-out of 0, and requests still queued are dropped
    // and their handles never complete.
    ~client_impl() override;

    client_impl(const client_impl&) = delete;
    client_impl& operator=(const client_impl&) = delete;

    result perform_request(method _method, boost::string_view _address) override;
    result perform_request(method _method, boost::string_view _address,
                           boost::string_view _body) override;
    handle perform_async_request(method _method, std::string _address, callback _callback) override;
    handle perform_async_request(method _method, std::string _address, std::string _body,
                                 callback _callback) override;
    handle perform_async_request(method _method, std::string _address, std::string _body) override;
    result perform_request(method _method, boost::string_view _address, boost::string_view _body,
                           const headers& _headers) override;
    handle perform_async_request(method _method, std::string _address, std::string _body,
                                 headers _headers, callback _callback) override;
    void set_max_body_size(std::size_t _bytes) override { m_max_body_size = _bytes; }

    // Whether transfers are to end now, as the client is going.
    bool must_abort() const;

private:
    // Performs its transfers on the workers.
    friend class async_request;

    using clock = std::chrono::steady_clock;
    // When a request made now times out; clock::time_point::max() without a time-out.
    clock::time_point deadline_from_now() const;
    // The options every request of the client shares.
    bool set_up_handle(CURL* _handle) const;
    result perform_request_impl(method _method, boost::string_view _address,
                                boost::string_view _body, const headers& _headers,
                                clock::time_point _deadline) const;
    // Counts a request that waits for a worker; false when the queue is full.
    bool enqueue() const;
    void dequeue() const { --m_queued; }
    // The failure of a request that waited for a worker past its deadline.
    result timed_out_in_queue() const;
    handle perform_async_request_impl(method _method, std::string _address, std::string _body,
                                      headers _headers) const;

    events_loop& m_main_events_loop;
    // Kept for the client's diagnostics; a request failure is its result, not a record.
    [[maybe_unused]] const component_logger& m_logger;
    const std::string m_address;
    const std::chrono::seconds m_timeout;
    std::atomic<std::size_t> m_max_body_size{default_max_body_size};
    // On a cache line of its own: the loop's thread and the workers both write it, and would
    // otherwise take from each other the line of the fields the workers read on every request.
    alignas(64) mutable std::atomic<std::size_t> m_queued{0};
    // From when transfers are aborted; never until the destructor.
    std::atomic<std::chrono::steady_clock::time_point> m_abort_at{
        std::chrono::steady_clock::time_point::max()};
    const std::set<method> m_disabled_methods;
    shared_curl_data m_shared_curl_data;
    // After the share handle, which libcurl refuses to clean up while an easy
    // handle still uses it; before the worker loop, whose drain still takes handles.
    mutable easy_handle_pool m_easy_handles;
    events_loop::ptr m_worker_events_loop;
    events_loop::work::ptr m_worker_events_loop_work;
    boost::asio::thread_pool m_worker_thread_pool;
};

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
