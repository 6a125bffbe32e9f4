// Finding where a request starts by walking back through the ring, in one step or many.
#include "history/history_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using zel::history;
using zel::history_walk;

// Sizes that wrap the ring at every offset, with now and then a frame larger than the ring.
std::string frame_of(std::uint64_t _sequence) {
    std::string frame = (_sequence % 3 == 0 ? "ab" : "b") + std::to_string(_sequence) + ":";
    frame.resize(_sequence % 50 == 0 ? 20000 : frame.size() + _sequence * 37 % 700, 'x');
    return frame;
}

void append(history& _history, std::uint64_t _sequence) {
    const auto frame = frame_of(_sequence);
    _history.append(frame.data(), frame.size());
}

// The first of the last _count wanted records, counted from the oldest.
std::uint64_t first_of_last(const history& _history, const zel::history_filter& _filter,
                            std::uint64_t _count) {
    std::vector<std::uint64_t> wanted;
    history::record record;
    std::size_t cost = 0;
    for (auto at = _history.oldest(); _history.read(at, record);) {
        if (record.what == history::kind::frame &&
            _filter.wants({record.data, record.size}, cost)) {
            wanted.push_back(at.sequence - 1);
        }
    }
    if (_count == 0) {
        return _history.next_sequence();
    }
    return wanted.size() <= _count ? _history.oldest_sequence() : wanted[wanted.size() - _count];
}

TEST(history_walk, finds_the_same_start_in_one_step_or_resumed_over_appends) {
    for (const std::uint64_t held : {0, 1, 40, 300}) {
        for (const std::uint64_t count : {0, 1, 5, 60, 1000}) {
            for (const auto& prefixes : std::vector<std::vector<std::string>>{{}, {"a", "zz"}}) {
                for (const std::size_t budget : {history_walk::record_cost, std::size_t(1) << 30}) {
                    history ring(16 * 1024);
                    for (std::uint64_t sequence = 1; sequence <= held; ++sequence) {
                        append(ring, sequence);
                    }
                    const zel::history_filter filter{prefixes};
                    const std::uint64_t expected = first_of_last(ring, filter, count);
                    const std::uint64_t target = held / 2 + 1;
                    auto last = history_walk::last(ring, count);
                    auto to = history_walk::to(ring, target);
                    history::cursor from_last{};
                    history::cursor from_to{};
                    bool last_done = false;
                    bool to_done = false;
                    for (std::uint64_t next = held + 1; !(last_done && to_done); ++next) {
                        std::size_t left = budget;
                        last_done = last_done || last.step(ring, filter, left, from_last);
                        left = budget;
                        to_done = to_done || to.step(ring, filter, left, from_to);
                        ASSERT_LT(next, held + 1000) << "the walks end";
                        append(ring, next);
                    }
                    ASSERT_EQ(ring.catch_up(from_last) == 0, expected >= ring.oldest_sequence());
                    ASSERT_EQ(ring.catch_up(from_to) == 0, target >= ring.oldest_sequence());
                    const auto case_name = std::to_string(held) + " " + std::to_string(count) +
                                           " " + std::to_string(budget);
                    EXPECT_EQ(from_last.sequence, std::max(expected, ring.oldest_sequence()))
                        << case_name;
                    EXPECT_EQ(from_to.sequence, std::max(target, ring.oldest_sequence()))
                        << case_name;
                    history::record record;
                    for (auto at : {from_last, from_to}) {
                        const auto sequence = at.sequence;
                        ASSERT_TRUE(ring.read(at, record)) << case_name;
                        if (record.what == history::kind::frame) {
                            EXPECT_EQ(std::string(record.data, record.size), frame_of(sequence))
                                << case_name;
                        }
                    }
                }
            }
        }
    }
}

}  // namespace
