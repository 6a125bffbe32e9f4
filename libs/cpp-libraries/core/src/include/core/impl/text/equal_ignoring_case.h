#pragma once

#include <boost/utility/string_view.hpp>

#include <cstddef>

namespace zel {
namespace libs {
namespace core {

// ASCII letters only, whatever the locale: for protocol words such as command and header names.
inline bool equal_ignoring_case(boost::string_view _left, boost::string_view _right) {
    const auto lower = [](char _c) { return _c >= 'A' && _c <= 'Z' ? char(_c - 'A' + 'a') : _c; };
    if (_left.size() != _right.size()) {
        return false;
    }
    for (std::size_t i = 0; i < _left.size(); ++i) {
        if (lower(_left[i]) != lower(_right[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace core
}  // namespace libs
}  // namespace zel
