#pragma once

#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include <string>
#include <utility>
#include <vector>

namespace zel {
namespace libs {
namespace core {
namespace http {

// The header fields of a request or a response, in order: each a name and its value.
using headers = std::vector<std::pair<std::string, std::string>>;

// The value of the first field named _name, compared regardless of letter case, as HTTP names
// are; none when no field has that name. The view is valid as long as _headers.
boost::optional<boost::string_view> find_header(const headers& _headers, boost::string_view _name);

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
