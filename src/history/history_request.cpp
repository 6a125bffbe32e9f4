#include "history/history_request.h"

#include <charconv>
#include <vector>

namespace zel {

namespace {

std::vector<boost::string_view> words_of(boost::string_view _line) {
    // Up to one word more than any request has: enough to refuse a line with too many.
    std::vector<boost::string_view> words;
    for (;;) {
        const auto space = _line.find(' ');
        words.push_back(_line.substr(0, space));
        if (space == boost::string_view::npos || words.size() > 3) {
            return words;
        }
        _line = _line.substr(space + 1);
    }
}

bool parse_number(boost::string_view _text, std::uint64_t& _number) {
    const char* end = _text.data() + _text.size();
    const auto parsed = std::from_chars(_text.data(), end, _number);
    return !_text.empty() && parsed.ec == std::errc() && parsed.ptr == end;
}

history_request refuse(std::string _error) {
    history_request request;
    request.error = std::move(_error);
    return request;
}

}  // namespace

history_request history_request::parse(boost::string_view _line) {
    const auto words = words_of(_line);
    history_request request;
    if (words.size() == 1 && words[0] == "ping") {
        request.what = action::ping;
    } else if (words.size() == 1 && words[0] == "bye") {
        request.what = action::bye;
    } else if (words.size() == 2 && (words[0] == "last" || words[0] == "read")) {
        request.what = words[0] == "last" ? action::last : action::read;
        if (!parse_number(words[1], request.number)) {
            return refuse(std::string(words[0]) + " needs a whole number");
        }
    } else if (words.size() == 3 && words[0] == "after") {
        request.what = action::after;
        request.identity = std::string(words[1]);
        if (!parse_number(words[2], request.number)) {
            return refuse("after needs a relay start and a whole number");
        }
    } else {
        return refuse("unknown request (last N, after ID S, ping, read N or bye)");
    }
    return request;
}

}  // namespace zel
