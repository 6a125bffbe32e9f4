#pragma once

#include <boost/utility/string_view.hpp>

#include <cstddef>
#include <string>
#include <vector>

namespace zel {

// The prefixes a reader asked for: a record is wanted when it begins with one of them, or always
// when there are none. Matching a record costs up to the bytes of every prefix tried, which the
// caller is told so that it can bound the work of a turn.
struct history_filter {
    std::vector<std::string> prefixes;

    bool wants(boost::string_view _frame, std::size_t& _cost) const {
        for (const auto& prefix : prefixes) {
            _cost += prefix.size();
            if (_frame.starts_with(prefix)) {
                return true;
            }
        }
        return prefixes.empty();
    }
};

}  // namespace zel
