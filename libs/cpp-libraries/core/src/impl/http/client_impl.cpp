#include <core/impl/http/client_impl.h>

#include <core/check_failed_exception.h>
#include <core/constants.h>
#include <core/core.h>
#include <core/exception.h>
#include <core/impl/http/async_request.h>
#include <core/impl/http/header_list.h>
#include <core/impl/http/response.h>
#include <core/scope_guard.h>

#include <boost/asio/post.hpp>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace http {

namespace {

// libcurl holds a line of a head, with a terminating NUL, in a buffer of CURL_MAX_HTTP_HEADER bytes
// at most.
static_assert(client::max_response_field_size == CURL_MAX_HTTP_HEADER - 1,
              "the documented limit is libcurl's");

// A redirect loop would otherwise run hop after hop until the time-out.
constexpr long max_redirects = 30;
constexpr long connect_timeout_seconds = 10;

int abort_when_the_client_goes(void* _client, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const client_impl*>(_client)->must_abort() ? 1 : 0;
}

// What is left until _deadline, for libcurl: at least 1 ms, as 0 would set no limit.
long timeout_until(std::chrono::steady_clock::time_point _deadline) {
    if (_deadline == std::chrono::steady_clock::time_point::max()) {
        return 0;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(_deadline - std::chrono::steady_clock::now());
    return std::max(1L, static_cast<long>(left.count()));
}

std::chrono::seconds checked_timeout(std::chrono::seconds _timeout) {
    if (_timeout < _timeout.zero() || _timeout > client::max_timeout) {
        throw exception("http::client: the time-out of " + std::to_string(_timeout.count()) +
                            " s is out of range (0, no limit, to " +
                            std::to_string(client::max_timeout.count()) + " s)",
                        ZEL_LOCATION);
    }
    return _timeout;
}

// Without a worker no asynchronous request would ever be performed.
std::size_t checked_worker_count(int _num_threads) {
    ZEL_CHECK(_num_threads > 0);
    return static_cast<std::size_t>(_num_threads);
}

// The first option libcurl refuses, or CURLE_OK.
class options_setter {
public:
    explicit options_setter(CURL* _handle) : m_handle(_handle) {}

    template <class T>
    options_setter& set(CURLoption _option, T _value) {
        if (m_code == CURLE_OK) {
            m_code = curl_easy_setopt(m_handle, _option, _value);
        }
        return *this;
    }
    CURLcode code() const { return m_code; }

private:
    CURL* m_handle;
    CURLcode m_code = CURLE_OK;
};

}  // namespace

client_impl::client_impl(events_loop& _main_events_loop, core& _core,
                         const component_logger& _logger, const std::string& _address,
                         std::chrono::seconds _timeout,
                         const std::vector<method>& _disabled_methods, int _num_threads)
    : m_main_events_loop(_main_events_loop)
    , m_logger(_logger)
    , m_address(_address)
    , m_timeout(checked_timeout(_timeout))
    , m_disabled_methods(_disabled_methods.begin(), _disabled_methods.end())
    , m_shared_curl_data()
    // One idle handle per worker, and one for a thread that blocks on a request.
    , m_easy_handles(checked_worker_count(_num_threads) + 1,
                     [this](CURL* _handle) { return set_up_handle(_handle); })
    , m_worker_events_loop(_core.create_events_loop("http_client::worker"))
    , m_worker_events_loop_work(m_worker_events_loop->create_work())
    , m_worker_thread_pool(static_cast<std::size_t>(_num_threads)) {
    for (int i = 0; i < _num_threads; ++i) {
        boost::asio::post(m_worker_thread_pool, [this] { m_worker_events_loop->run(); });
    }
}

client_impl::~client_impl() {
    // The bound holds whatever the time-out, even none.
    m_abort_at = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    m_worker_events_loop_work.reset();
    m_worker_events_loop->stop();
    m_worker_thread_pool.join();
}

result client_impl::perform_request(method _method, boost::string_view _address) {
    return perform_request(_method, _address, boost::string_view());
}

result client_impl::perform_request(method _method, boost::string_view _address,
                                    boost::string_view _body) {
    return perform_request_impl(_method, _address, _body, headers(), deadline_from_now());
}

result client_impl::perform_request(method _method, boost::string_view _address,
                                    boost::string_view _body, const headers& _headers) {
    return perform_request_impl(_method, _address, _body, _headers, deadline_from_now());
}

client::handle client_impl::perform_async_request(method _method, std::string _address,
                                                  callback _callback) {
    return perform_async_request(_method, std::move(_address), std::string(), std::move(_callback));
}

client::handle client_impl::perform_async_request(method _method, std::string _address,
                                                  std::string _body, callback _callback) {
    return perform_async_request(_method, std::move(_address), std::move(_body), headers(),
                                 std::move(_callback));
}

client::handle client_impl::perform_async_request(method _method, std::string _address,
                                                  std::string _body, headers _headers,
                                                  callback _callback) {
    handle request = perform_async_request_impl(_method, std::move(_address), std::move(_body),
                                                std::move(_headers));
    request->set_callback(std::move(_callback));
    return request;
}

client::handle client_impl::perform_async_request(method _method, std::string _address,
                                                  std::string _body) {
    return perform_async_request_impl(_method, std::move(_address), std::move(_body), headers());
}

result client_impl::perform_request_impl(method _method, boost::string_view _address,
                                         boost::string_view _body, const headers& _headers,
                                         clock::time_point _deadline) const {
    const char* const method_name = to_string(_method);
    std::string url;
    url.reserve(m_address.size() + _address.size());
    url.append(m_address).append(_address.data(), _address.size());
    // libcurl reads the address as a C string: it would send what comes before the NUL.
    if (url.find('\0') != std::string::npos) {
        return result("refused: the address holds a NUL byte");
    }
    // "METHOD address HTTP/1.1" and its line end; the address is at most the URL.
    const std::size_t request_line = std::strlen(method_name) + url.size() + 12;
    if (const auto refusal = header_list::refusal(_headers, request_line)) {
        return result(*refusal);
    }
    CURL* const curl_handle = m_easy_handles.take();
    ZEL_CHECK(curl_handle != NULL);
    const scope_guard handle_guard =
        make_scope_guard([this, curl_handle] { m_easy_handles.give_back(curl_handle); });
    // After the guard, so that the list goes before the handle.
    const header_list fields(_headers, !_body.empty());

    options_setter options(curl_handle);
    if (!_body.empty()) {
        // The body outlives the transfer, so libcurl reads it in place.
        options.set(CURLOPT_POSTFIELDSIZE, static_cast<long>(_body.size()))
            .set(CURLOPT_POSTFIELDS, _body.data());
    } else {
        // Clears what an earlier request of the handle sent; the method name
        // below still goes on the request line.
        options.set(CURLOPT_POSTFIELDSIZE, -1L)
            .set(CURLOPT_POSTFIELDS, static_cast<const char*>(nullptr))
            .set(CURLOPT_HTTPGET, 1L);
    }
    response received(m_max_body_size.load());
    options.set(CURLOPT_TIMEOUT_MS, timeout_until(_deadline))
        .set(CURLOPT_HTTPHEADER, fields.get())
        .set(CURLOPT_CUSTOMREQUEST, method_name)
        .set(CURLOPT_WRITEDATA, static_cast<void*>(&received))
        .set(CURLOPT_HEADERDATA, static_cast<void*>(&received))
        .set(CURLOPT_URL, url.c_str());
    if (options.code() != CURLE_OK) {
        return result(std::string("curl_easy_setopt failed:") + curl_easy_strerror(options.code()));
    }

    long status = 200;
    if (m_disabled_methods.count(_method) == 0) {
        // A request still queued once the client goes would read as aborted under way.
        if (must_abort()) {
            return result("refused: the client was destroyed before it was sent");
        }
        const CURLcode code = curl_easy_perform(curl_handle);
        if (received.m_body_too_large) {
            return result("curl_easy_perform failed:the response's body is above " +
                          std::to_string(received.m_max_body_size) + " bytes");
        }
        if (received.m_head_too_large) {
            return result("curl_easy_perform failed:response head larger than " +
                          std::to_string(max_head_size) + " bytes");
        }
        // libcurl holds each line of a head whole, and tells one past its limit as out of memory,
        // which nothing else of a head so small makes it run out of.
        if (code == CURLE_OUT_OF_MEMORY && !received.m_head_ended) {
            return result("curl_easy_perform failed:response field larger than " +
                          std::to_string(max_response_field_size) + " bytes");
        }
        // The only callback that aborts a transfer is the client's own.
        if (code == CURLE_ABORTED_BY_CALLBACK) {
            return result("curl_easy_perform failed:aborted, as the client was destroyed");
        }
        if (code != CURLE_OK) {
            return result(std::string("curl_easy_perform failed:") + curl_easy_strerror(code));
        }
        // libcurl takes a connection closed within the head for a complete answer.
        if (!received.m_head_ended) {
            return result("curl_easy_perform failed:the response's head was cut short");
        }
        curl_easy_getinfo(curl_handle, CURLINFO_RESPONSE_CODE, &status);
    }
    return result(std::move(received.m_body), static_cast<int>(status),
                  std::move(received.m_headers));
}

bool client_impl::must_abort() const {
    const auto abort_at = m_abort_at.load(std::memory_order_relaxed);
    // The clock is read only once the client is going.
    return abort_at != std::chrono::steady_clock::time_point::max() &&
           std::chrono::steady_clock::now() >= abort_at;
}

client_impl::clock::time_point client_impl::deadline_from_now() const {
    return m_timeout == m_timeout.zero() ? clock::time_point::max() : clock::now() + m_timeout;
}

bool client_impl::enqueue() const {
    if (m_queued.fetch_add(1) < max_queued_requests) {
        return true;
    }
    --m_queued;
    return false;
}

result client_impl::timed_out_in_queue() const {
    return result("refused: timed out after " + std::to_string(m_timeout.count()) +
                  " s waiting for a worker; not sent");
}

bool client_impl::set_up_handle(CURL* _handle) const {
    options_setter options(_handle);
    options.set(CURLOPT_USERAGENT, constants::project_name.c_str())
        .set(CURLOPT_WRITEFUNCTION, &response::append_to_body)
        .set(CURLOPT_HEADERFUNCTION, &response::read_head_line)
        .set(CURLOPT_NOPROGRESS, 0L)
        .set(CURLOPT_XFERINFOFUNCTION, &abort_when_the_client_goes)
        .set(CURLOPT_XFERINFODATA, static_cast<const void*>(this))
        .set(CURLOPT_CONNECTTIMEOUT, connect_timeout_seconds)
        .set(CURLOPT_FOLLOWLOCATION, 1L)
        .set(CURLOPT_MAXREDIRS, max_redirects)
        // Neither a caller nor a server may make the client read anything but an
        // HTTP address (a file, say).
        .set(CURLOPT_PROTOCOLS_STR, "http,https")
        .set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https")
        // Time-outs would otherwise be raised as signals, which strike any
        // thread of the process.
        .set(CURLOPT_NOSIGNAL, 1L)
        // An empty file name turns the cookie engine on without reading a file,
        // so that the cookies the client shares are kept and sent back.
        .set(CURLOPT_COOKIEFILE, "")
        .set(CURLOPT_SHARE, m_shared_curl_data.get_ptr());
    return options.code() == CURLE_OK;
}

client::handle client_impl::perform_async_request_impl(method _method, std::string _address,
                                                       std::string _body, headers _headers) const {
    auto request = std::make_shared<async_request>(
        *this, m_worker_events_loop->get_io_context(), m_main_events_loop.get_io_context(), _method,
        std::move(_address), std::move(_body), std::move(_headers), badge<client_impl>());
    request->start();
    return request;
}

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
