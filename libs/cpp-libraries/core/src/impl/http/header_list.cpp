#include <core/impl/http/header_list.h>

#include <core/append_escaped.h>
#include <core/check_failed_exception.h>
#include <core/http/client.h>

#include <boost/utility/string_view.hpp>

#include <algorithm>

namespace zel {
namespace libs {
namespace core {
namespace http {

namespace {

bool is_token_character(char _c) {
    return (_c >= 'a' && _c <= 'z') || (_c >= 'A' && _c <= 'Z') || (_c >= '0' && _c <= '9') ||
           boost::string_view("!#$%&'*+-.^_`|~").find(_c) != boost::string_view::npos;
}

bool is_control_character(char _c) {
    const auto byte = static_cast<unsigned char>(_c);
    return (byte < 0x20 && _c != '\t') || byte == 0x7f;
}

std::string refused_field(boost::string_view _name, const char* _why) {
    std::string reason = "refused: the header field \"";
    append_escaped(reason, _name);
    return reason + "\" " + _why;
}

}  // namespace

boost::optional<std::string> header_list::refusal(const headers& _fields,
                                                  std::size_t _request_line) {
    // The request line, and the empty line that ends the head.
    std::size_t head_size = _request_line + 2;
    for (const auto& field : _fields) {
        const boost::string_view name = field.first;
        const boost::string_view value = field.second;
        if (name.empty() || !std::all_of(name.begin(), name.end(), is_token_character)) {
            return refused_field(name, "has a name that is not an HTTP token");
        }
        if (std::any_of(value.begin(), value.end(), is_control_character)) {
            return refused_field(name, "has a control character in its value");
        }
        // "Name: value" and its line end.
        head_size += name.size() + value.size() + 4;
    }
    if (head_size > client::max_request_head_size) {
        return "refused: request head larger than " +
               std::to_string(client::max_request_head_size) + " bytes";
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
