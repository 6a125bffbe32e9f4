#include <core/http/headers.h>

#include <core/impl/text/equal_ignoring_case.h>

namespace zel {
namespace libs {
namespace core {
namespace http {

boost::optional<boost::string_view> find_header(const headers& _headers, boost::string_view _name) {
    for (const auto& field : _headers) {
        if (equal_ignoring_case(field.first, _name)) {
            return boost::string_view(field.second);
        }
    }
    return boost::none;
}

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
