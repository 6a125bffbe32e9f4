#pragma once

#include <core/async_operation_handle.h>
#include <core/http/headers.h>
#include <core/http/method.h>
#include <core/http/result.h>

#include <boost/utility/string_view.hpp>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace zel {
namespace libs {
namespace core {
namespace http {

// Requests against one base address: each URL is the base address followed by
// the request's address, joined as they stand. Connections, DNS answers, TLS
// sessions and cookies are reused across the client's requests. Failures are
// results, never exceptions: a transfer that fails has no status code and its
// error() starts with "curl_easy_perform failed:" (a response whose head the
// server cut short, or whose head, field or body grew past the client's limit,
// included, and one that the client's destruction aborts, which says so); a
// request refused before any transfer has an error() that starts with
// "refused:" (an address holding a NUL byte, a head past its limit, a request
// that the client's destruction leaves unsent: "refused: the client was
// destroyed before it was sent"). Requests and redirects use http
// and https only. A non-empty body is sent as "application/json" whatever the
// method, unless the request's header fields name another Content-Type.
//
// The time-out a client is made with bounds each request, from 1 to
// max_timeout seconds; 0 sets no limit. Any other value is refused with
// exception when the client is made. It counts from the call, the wait for a
// worker included: an asynchronous request still queued at its deadline fails
// then, unsent, with an error() that starts with "refused: timed out". At most
// max_queued_requests asynchronous requests wait for a worker; one more fails
// at once, unsent, with an error() that starts with "refused: the queue".
class client {
public:
    using ptr = std::unique_ptr<client>;
    using callback = std::function<void(result)>;
    using handle = async_operation_handle<result>::ptr;

    // The longest time-out libcurl takes.
    static constexpr std::chrono::seconds max_timeout{2147483};
    // Each waiting request holds its address and body.
    static constexpr std::size_t max_queued_requests = 10000;
    // What the head of one response may hold, its fields kept in its result:
    // past it the request fails at once, with an error() that reads
    // "curl_easy_perform failed:response head larger than 262144 bytes".
    static constexpr std::size_t max_head_size = std::size_t(256) << 10;
    // What one line of a response's head (a field with its name and line end,
    // or the status line) may hold: libcurl's own limit, which it does not let
    // a client raise. Past it the request fails with an error() that reads
    // "curl_easy_perform failed:response field larger than 102399 bytes".
    static constexpr std::size_t max_response_field_size = (std::size_t(100) << 10) - 1;
    // What the head of a request may hold: its request line, the request's
    // own fields and their line ends, within libcurl's own limit of 1 MiB for
    // a request with the fields it adds. Past it the request is refused
    // unsent, with an error() that reads "refused: request head larger than
    // 524288 bytes".
    static constexpr std::size_t max_request_head_size = std::size_t(512) << 10;
    // What one response's body may hold unless set otherwise: past it the
    // request fails at once, and no more of it is kept.
    static constexpr std::size_t default_max_body_size = std::size_t(256) << 20;

    virtual ~client() = default;

    // For the requests that start from now on; any thread may call it.
    virtual void set_max_body_size(std::size_t _bytes) = 0;

    // Blocking, on the calling thread; any thread may call them at once.
    virtual result perform_request(method _method, boost::string_view _address) = 0;
    virtual result perform_request(method _method, boost::string_view _address,
                                   boost::string_view _body) = 0;

    // On the client's worker threads; the result reaches the callback on the
    // loop that created the client. Dropping the handle before the transfer
    // starts cancels it; dropping it later discards the result. A handle must
    // not be restarted once its client is gone.
    virtual handle perform_async_request(method _method, std::string _address,
                                         callback _callback) = 0;
    virtual handle perform_async_request(method _method, std::string _address, std::string _body,
                                         callback _callback) = 0;
    // The caller attaches the callback to the handle afterwards.
    virtual handle perform_async_request(method _method, std::string _address,
                                         std::string _body) = 0;

    // With the request's own header fields, sent in order: a field replaces the
    // client's own of the same name (User-Agent, and Content-Type for a body),
    // and an empty value is sent empty. A request whose field has a name that is
    // not an HTTP token (one or more letters, digits or !#$%&'*+-.^_`|~), or a
    // value that holds a control character other than a tab, is refused before
    // anything is sent, with an error() that starts with "refused: the header
    // field " and the field's name.
    virtual result perform_request(method _method, boost::string_view _address,
                                   boost::string_view _body, const headers& _headers) = 0;
    virtual handle perform_async_request(method _method, std::string _address, std::string _body,
                                         headers _headers, callback _callback) = 0;
};

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
