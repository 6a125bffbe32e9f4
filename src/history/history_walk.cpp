#include "history/history_walk.h"

#include <algorithm>

namespace zel {

history_walk history_walk::last(const history& _history, std::uint64_t _count) {
    return history_walk(_history.end(), _count, 0);
}

history_walk history_walk::to(const history& _history, std::uint64_t _sequence) {
    return history_walk(_history.end(), 0, _sequence);
}

bool history_walk::step(const history& _history, const history_filter& _filter,
                        std::size_t& _budget, history::cursor& _start) {
    for (;;) {
        if (m_at.sequence <= m_sequence || (m_sequence == 0 && m_count == 0)) {
            _start = m_at;
            return true;
        }
        if (_budget == 0) {
            return false;
        }
        history::record record;
        if (!_history.read_back(m_at, record)) {
            _start = _history.oldest();
            return true;
        }
        std::size_t cost = record_cost;
        if (m_sequence == 0 && record.what == history::kind::frame &&
            _filter.wants({record.data, record.size}, cost)) {
            --m_count;
        }
        _budget -= std::min(cost, _budget);
    }
}

}  // namespace zel
