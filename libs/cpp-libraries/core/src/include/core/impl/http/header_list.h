#pragma once

#include <core/http/headers.h>

#include <curl/curl.h>

#include <boost/optional.hpp>

#include <cstddef>
#include <string>

namespace zel {
namespace libs {
namespace core {
namespace http {

// The header lines of one request, in the list libcurl sends them from.
class header_list {
public:
    // Why _fields cannot be sent as they are, after a request line of _request_line bytes: a name
    // that is not an HTTP token, or a value that holds a control character other than a tab,
    // would send other fields than the ones given or ones a server may take otherwise, and a head
    // past client::max_request_head_size would fail in libcurl as out of memory. None when they
    // can.
    static boost::optional<std::string> refusal(const headers& _fields, std::size_t _request_line);

    // _fields, checked by refusal, after "Content-Type: application/json" when _json_body and
    // _fields name no Content-Type. Throws check_failed_exception when libcurl has no memory.
    header_list(const headers& _fields, bool _json_body);
    ~header_list() { curl_slist_free_all(m_list); }

    header_list(const header_list&) = delete;
    header_list& operator=(const header_list&) = delete;

    // Null when empty.
    curl_slist* get() const { return m_list; }

private:
    void append(const std::string& _line);

    curl_slist* m_list = nullptr;
};

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
