#include <core/impl/http/header_list.h>

#include <core/append_escaped.h>
#include <core/check_failed_exception.h>

#include <boost/utility/string_view.hpp>

namespace zel {
namespace libs {
namespace core {
namespace http {

boost::optional<std::string> header_list::refusal(const headers& _fields) {
    const auto breaks_a_line = [](boost::string_view _text) {
        return _text.find_first_of(boost::string_view("\r\n\0", 3)) != boost::string_view::npos;
    };
    for (const auto& field : _fields) {
        const boost::string_view name = field.first;
        if (name.empty() || name.find(':') != boost::string_view::npos || breaks_a_line(name) ||
            breaks_a_line(field.second)) {
            std::string reason = "refused: the header field \"";
            append_escaped(reason, name);
            reason += "\" has an empty name, or a ':' in its name, or CR, LF or NUL in it";
            return reason;
        }
    }
    return boost::none;
}

header_list::header_list(const headers& _fields, bool _json_body) {
    try {
        if (_json_body && !find_header(_fields, "content-type")) {
            append("content-type: application/json");
        }
        for (const auto& field : _fields) {
            // libcurl takes "Name:" for a field of its own to leave out, and "Name;" for an
            // empty one.
            append(field.second.empty() ? field.first + ";" : field.first + ": " + field.second);
        }
    } catch (...) {
        curl_slist_free_all(m_list);
        throw;
    }
}

void header_list::append(const std::string& _line) {
    curl_slist* const appended = curl_slist_append(m_list, _line.c_str());
    ZEL_CHECK(appended != NULL);
    m_list = appended;
}

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
