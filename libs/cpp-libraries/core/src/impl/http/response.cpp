#include <core/impl/http/response.h>

#include <core/http/client.h>

#include <boost/utility/string_view.hpp>

namespace zel {
namespace libs {
namespace core {
namespace http {

namespace {

constexpr std::size_t typical_fields = 16;

// A field line of a head, its line end included. An obsolete continuation line goes on with the
// field before it.
void add_field(headers& _fields, boost::string_view _line) {
    const auto trim = [](boost::string_view _text) {
        const auto first = _text.find_first_not_of(" \t\r\n");
        if (first == boost::string_view::npos) {
            return boost::string_view();
        }
        return _text.substr(first, _text.find_last_not_of(" \t\r\n") - first + 1);
    };
    if ((_line.starts_with(' ') || _line.starts_with('\t')) && !_fields.empty()) {
        const boost::string_view more = trim(_line);
        _fields.back().second.append(" ").append(more.data(), more.size());
        return;
    }
    const auto colon = _line.find(':');
    if (colon != boost::string_view::npos) {
        // A head has a few fields to a dozen: room for them at once, rather than growing by steps.
        _fields.reserve(typical_fields);
        _fields.emplace_back(std::string(_line.substr(0, colon)),
                             std::string(trim(_line.substr(colon + 1))));
    }
}

}  // namespace

std::size_t response::append_to_body(char* _data, std::size_t _size, std::size_t _count,
                                     void* _response) {
    auto& into = *static_cast<response*>(_response);
    const std::size_t length = _size * _count;
    if (length > into.m_max_body_size - into.m_body.size()) {
        into.m_body_too_large = true;
        // A short count ends the transfer in error.
        return 0;
    }
    try {
        into.m_body.append(_data, length);
    } catch (...) {
        // No exception may cross libcurl.
        return 0;
    }
    return length;
}

std::size_t response::read_head_line(char* _data, std::size_t _size, std::size_t _count,
                                     void* _response) {
    const boost::string_view line(_data, _size * _count);
    auto& into = *static_cast<response*>(_response);
    // Each head of a redirect or an interim answer starts with its status line.
    if (line.starts_with("HTTP/")) {
        into.m_head_ended = false;
        into.m_headers.clear();
        into.m_head_size = 0;
    }
    into.m_head_size += line.size();
    if (into.m_head_size > client::max_head_size) {
        into.m_head_too_large = true;
        // A short count ends the transfer in error.
        return 0;
    }
    if (line == "\r\n" || line == "\n") {
        into.m_head_ended = true;
    } else if (!into.m_head_ended && !line.starts_with("HTTP/")) {
        try {
            add_field(into.m_headers, line);
        } catch (...) {
            // No exception may cross libcurl.
            return 0;
        }
    }
    return line.size();
}

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
