#pragma once

#include "history/history.h"

#include <boost/utility/string_view.hpp>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zel {

// What the history endpoint keeps of one reader: its own position in the history, what it asked
// for and what it must still be told.
struct history_client {
    std::vector<std::string> prefixes;
    history::cursor position;
    // "live" is said once the position reaches this sequence number: the end at the request.
    std::uint64_t live_from = 0;
    bool start_said = false;
    bool live_said = false;
    // Records the reader will never get and has not been told of yet, and why.
    std::uint64_t unsaid_lost = 0;
    const char* lost_reason = "";
    std::chrono::steady_clock::time_point last_heard;

    bool wants(boost::string_view _frame) const {
        if (prefixes.empty()) {
            return true;
        }
        for (const auto& prefix : prefixes) {
            if (_frame.starts_with(prefix)) {
                return true;
            }
        }
        return false;
    }
};

}  // namespace zel
