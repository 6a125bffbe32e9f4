#pragma once

#include <core/async_operation_handle.h>
#include <core/http/method.h>
#include <core/http/result.h>

#include <boost/utility/string_view.hpp>

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
// error() starts with "curl_easy_perform failed:". A non-empty body is sent as
// "application/json" whatever the method.
class client {
public:
    using ptr = std::unique_ptr<client>;
    using callback = std::function<void(result)>;
    using handle = async_operation_handle<result>::ptr;

    virtual ~client() = default;

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
};

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
