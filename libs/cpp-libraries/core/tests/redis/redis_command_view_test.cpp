#include <core/impl/redis/command_view.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace redis = zel::libs::core::redis;
using std::chrono::milliseconds;

namespace {

TEST(redis_command_view, commands_that_block_by_design_wait_their_own_time_out_on_top) {
    struct example {
        std::vector<std::string> words;
        // In milliseconds; -1: no limit.
        long long expected;
    };
    const milliseconds usual(5000);
    constexpr long long none = -1;
    const std::vector<example> examples{
        {{"GET", "BLOCK"}, 5000},
        {{"BLPOP", "a", "b", "2"}, 7000},
        {{"brpop", "a", "0.5"}, 5500},
        {{"BLPOP", "a", "0"}, none},
        {{"BLMPOP", "3", "2", "a", "b", "LEFT"}, 8000},
        {{"BZMPOP", "0", "1", "z", "MIN"}, none},
        {{"WAIT", "1", "250"}, 5250},
        {{"XREAD", "COUNT", "2", "BLOCK", "100", "STREAMS", "s", "0"}, 5100},
        {{"XREADGROUP", "GROUP", "BLOCK", "c", "BLOCK", "0", "STREAMS", "s", ">"}, none},
        // A key named BLOCK is no option, and a time-out the server refuses is answered at once.
        {{"XREAD", "STREAMS", "BLOCK", "0"}, 5000},
        {{"BLPOP", "a", "soon"}, 5000},
        {{"BLPOP", "a", "-1"}, 5000},
        {{"BLPOP", "a", "1e300"}, none}};
    for (const auto& each : examples) {
        std::vector<const char*> argv;
        std::vector<std::size_t> argv_len;
        for (const auto& word : each.words) {
            argv.push_back(word.data());
            argv_len.push_back(word.size());
        }
        const auto timeout = redis::command_view(argv, argv_len).reply_timeout(usual);
        EXPECT_EQ(timeout ? timeout->count() : none, each.expected)
            << each.words[0] << ' ' << each.words.back();
    }
}

}  // namespace
