// The history's ring: what it holds within its bound, and what a reader it overtook learns.
#include "history/history.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string frame_of(std::uint64_t _sequence, std::size_t _size) {
    std::string frame = std::to_string(_sequence) + ":";
    frame.resize(std::max(_size, frame.size()), 'x');
    return frame;
}

TEST(history, holds_only_the_newest_records_contiguous_within_its_bound) {
    for (const std::size_t size : {0, 1, 13, 100, 1000, 3000}) {
        zel::history kept(zel::history::min_bytes);
        for (std::uint64_t sequence = 1; sequence <= 200; ++sequence) {
            kept.append(frame_of(sequence, size).data(), frame_of(sequence, size).size());
            std::size_t bytes = 0;
            auto position = kept.oldest();
            zel::history::record record;
            for (auto expected = kept.oldest_sequence(); kept.read(position, record); ++expected) {
                ASSERT_EQ(std::string(record.data, record.size), frame_of(expected, size));
                bytes += zel::history::header_size + record.size;
            }
            ASSERT_EQ(position.sequence, sequence + 1);
            ASSERT_LE(bytes, zel::history::min_bytes);
            // Only as many are dropped as room needs: at most a record's room is wasted at the
            // ring's end, and at most a record's room is free before the oldest.
            if (kept.oldest_sequence() > 1) {
                ASSERT_GE(bytes + 2 * (zel::history::header_size + frame_of(sequence, size).size()),
                          zel::history::min_bytes)
                    << size << " " << sequence;
            }
        }
    }
}

TEST(history, an_overtaken_reader_learns_how_many_it_lost_and_goes_on_from_the_oldest) {
    zel::history kept(zel::history::min_bytes);
    auto reader = kept.end();
    for (std::uint64_t sequence = 1; sequence <= 1000; ++sequence) {
        kept.append(frame_of(sequence, 50).data(), 50);
    }
    EXPECT_EQ(kept.catch_up(reader), kept.oldest_sequence() - 1);
    zel::history::record record;
    ASSERT_TRUE(kept.read(reader, record));
    EXPECT_EQ(std::string(record.data, record.size), frame_of(kept.oldest_sequence(), 50));
    EXPECT_EQ(kept.catch_up(reader), 0u);
    auto back = kept.end();
    ASSERT_TRUE(kept.read_back(back, record));
    EXPECT_EQ(back.sequence, 1000u);
    EXPECT_EQ(std::string(record.data, record.size), frame_of(1000, 50));
}

TEST(history, a_frame_larger_than_the_bound_is_kept_as_a_mark_that_says_so) {
    zel::history kept(zel::history::min_bytes);
    const std::string huge(zel::history::min_bytes, 'h');
    kept.append(huge.data(), huge.size());
    auto reader = kept.oldest();
    zel::history::record record;
    ASSERT_TRUE(kept.read(reader, record));
    EXPECT_EQ(record.what, zel::history::kind::too_large);
    EXPECT_EQ(record.size, 0u);
}

}  // namespace
