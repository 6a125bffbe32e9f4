#pragma once

#include "history/history.h"
#include "history/history_filter.h"
#include "history/history_walk.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace zel {

// What the history endpoint keeps of one reader: its own position in the history, what it asked
// for and what it must still be told.
struct history_client {
    history_filter filter;
    // Where the request starts, until it is found; then the reader's position.
    std::optional<history_walk> walk;
    history::cursor position;
    // after: the first sequence number the reader asked for; what the walk ends past was lost.
    std::uint64_t wanted = 0;
    // "live" is said once the position reaches this sequence number: the end at the request.
    std::uint64_t live_from = 0;
    bool start_said = false;
    bool live_said = false;
    // Once the relay stops: the reader has had all and been told, and its "bye" is awaited.
    bool end_said = false;
    // Records the reader will never get and has not been told of yet, and why.
    std::uint64_t unsaid_lost = 0;
    const char* lost_reason = "";
    // Bytes of records sent that the reader has not said it read.
    std::size_t unread = 0;
    // Who the reader is beyond its connection (see history_server), and when it last spoke.
    std::string peer;
    std::chrono::steady_clock::time_point last_heard;
};

}  // namespace zel
