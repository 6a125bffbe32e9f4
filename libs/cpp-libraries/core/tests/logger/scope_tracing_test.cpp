#include <core/component_logger.h>
#include <core/constants.h>

#include <test_support/logger_peer.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace core = zel::libs::core;

namespace {

std::string at_depth(int _depth, const std::string& _text) {
    return std::string(4 * _depth, ' ') + "| " + _text;
}

class scope_tracing : public test_support::connected_logger {};

TEST_F(scope_tracing, entry_records_sit_at_the_outer_depth) {
    // Made here: the source root is another unit's static.
    const std::string file = core::constants::source_directory + "/src/main.cpp";
    const core::source_location in_main(42, file, "int main(int, char**)");
    const core::source_location in_member(
        42, file, "void zel::libs::core::udp::socket_impl::on_receive(int)");
    {
        const auto named = logger.enter_scope("loop");
        const auto function = logger.enter_function(in_main);
        const auto short_member = logger.enter_function_short(in_member, "receive");
        const auto short_main = logger.enter_function_short(in_main, "start");
        const auto located = logger.enter_scope(in_main);
        const auto located_named = logger.enter_scope(in_main, "loop");
        logger.info("deepest");
    }
    logger.info("outside");
    EXPECT_EQ(next_bodies(8),
              (std::vector<std::string>{
                  "loop", at_depth(1, "int main(int, char**)"),
                  at_depth(2, "zel::libs::core::udp::socket_impl::on_receive: receive"),
                  at_depth(3, "int main(int, char**): start"), at_depth(4, "/src/main.cpp:42"),
                  at_depth(5, "/src/main.cpp:42 (loop)"), at_depth(6, "deepest"), "outside"}));
}

TEST_F(scope_tracing, depth_follows_the_guards_not_their_scopes_or_threads) {
    core::component_logger::indent_guard kept;
    {
        auto guard = logger.enter_scope("handed over");
        kept = std::move(guard);
    }
    logger.info("still inside");
    kept.reset();
    auto first = logger.enter_scope("first");
    auto second = logger.enter_scope("second");
    first.reset();
    logger.info("one level");
    second.reset();
    // The depth is the component logger's: a guard made on another thread
    // moves it for this one, and another component keeps its own.
    std::thread([&] { kept = logger.enter_scope("from a thread"); }).join();
    logger.info("shared");
    logger.component("other")->info("own depth");
    kept.reset();
    logger.info("none");
    EXPECT_EQ(next_bodies(7),
              (std::vector<std::string>{"handed over", at_depth(1, "still inside"), "first",
                                        at_depth(1, "second"), at_depth(1, "one level"),
                                        "from a thread", at_depth(1, "shared")}));
    EXPECT_EQ(next_body("&vandrel:other "), "own depth");
    EXPECT_EQ(next_body(), "none");
}

}  // namespace
