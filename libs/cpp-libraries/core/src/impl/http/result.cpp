#include <core/http/result.h>

#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace http {

result::result(std::string _data, int _status_code, http::headers _headers)
    : m_code(_status_code), m_headers(std::move(_headers)) {
    if (ok()) {
        m_data = std::move(_data);
    } else {
        m_error = std::move(_data);
    }
}

result::result(std::string _error) : m_error(std::move(_error)) {}

bool result::ok() const {
    return m_code && *m_code >= 200 && *m_code <= 299;
}

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
