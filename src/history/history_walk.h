#pragma once

#include "history/history.h"
#include "history/history_filter.h"

#include <cstddef>
#include <cstdint>

namespace zel {

// Finds where a request's records start by walking back from the end of the history at the
// request, so that "the last N" costs what it returns, not what the history holds. A step walks
// until its budget is spent and the next step goes on from there: a history of 2^40 bytes is
// walked in short steps between which the loop forwards frames. Appends between steps do not
// disturb it; when the records it has still to walk are overwritten, it ends at the oldest.
class history_walk {
public:
    // What looking at one record costs beside the prefix bytes compared: about a cache miss.
    static constexpr std::size_t record_cost = 256;

    // To the first of the last _count records _filter wants.
    static history_walk last(const history& _history, std::uint64_t _count);
    // To the record _sequence, the end when it is not held yet, the oldest when no longer held.
    static history_walk to(const history& _history, std::uint64_t _sequence);

    // Walks on until done or _budget is spent (taking from it); true when done, with the start
    // in _start.
    bool step(const history& _history, const history_filter& _filter, std::size_t& _budget,
              history::cursor& _start);

private:
    history_walk(history::cursor _from, std::uint64_t _count, std::uint64_t _sequence)
        : m_at(_from), m_count(_count), m_sequence(_sequence) {}

    history::cursor m_at;
    // last: the matching records still to pass; to: the sequence number to stop at.
    std::uint64_t m_count;
    std::uint64_t m_sequence;
};

}  // namespace zel
