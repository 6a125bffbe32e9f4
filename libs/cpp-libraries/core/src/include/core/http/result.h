#pragma once

#include <core/http/headers.h>

#include <boost/optional.hpp>

#include <cstdint>
#include <string>

namespace zel {
namespace libs {
namespace core {
namespace http {

// The outcome of one request: a response with its status code, or a failure
// without one. Exactly one of data() and error() is present.
class result {
public:
    // A response: the body is data() for a status in 200..299, error() otherwise.
    result(std::string _data, int _status_code, http::headers _headers = {});
    // No response was obtained.
    explicit result(std::string _error);

    // A status code is present and lies in 200..299.
    bool ok() const;
    boost::optional<int> status_code() const { return m_code; }
    boost::optional<const std::string&> data() const& {
        return m_data ? boost::optional<const std::string&>(*m_data) : boost::none;
    }
    boost::optional<std::string> data() && { return std::move(m_data); }
    boost::optional<std::string> error() const { return m_error; }
    // The header fields of the final response (after redirects and interim answers), in order,
    // names as received, values without the white space around them; none without a response.
    // find_header looks one up by name.
    const http::headers& headers() const { return m_headers; }

private:
    boost::optional<std::int32_t> m_code;
    boost::optional<std::string> m_data;
    boost::optional<std::string> m_error;
    http::headers m_headers;
};

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
