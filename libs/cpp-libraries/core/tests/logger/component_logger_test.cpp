#include <core/component_logger.h>
#include <core/constants.h>
#include <core/exception.h>

#include <test_support/logger_peer.h>

#include <gtest/gtest.h>
#include <boost/system/error_code.hpp>

#include <chrono>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace core = zel::libs::core;

namespace {

static_assert(!std::is_move_constructible_v<core::component_logger::formatter>,
              "a moved-from record would be emitted a second time");

class record_text : public test_support::connected_logger {
protected:
    // Made with the fixture: the source root is another unit's static.
    const std::string main_file = core::constants::source_directory + "/src/main.cpp";
    const core::source_location in_main{70, main_file, "int main(int, char**)"};
};

TEST_F(record_text, date_location_and_function_compose_the_frame) {
    const core::source_location in_member(
        -3, main_file, "void zel::libs::core::tcp::socket_impl::setup_receive()");
    core::timestamp pinned;
    pinned.m_time_point = core::timestamp::time_point(std::chrono::milliseconds(1796559219042));
    logger.info("text %1%").date_time(pinned) % 1;
    logger.warning("text %1%").function(in_main).date_time(pinned) % 2;
    logger.error("text %1%").location(in_main).date_time(pinned) % 3;
    logger.debug("text %1%").short_function(in_member).location(in_member).date_time(pinned) % 4;
    logger.info("epoch").date_time(core::timestamp{});
    const std::string prefix = "&vandrel:main 2026-12-06 12:13:39.042 ";
    EXPECT_EQ(next_frame(), prefix + "text 1");
    EXPECT_EQ(next_frame(), prefix + "int main(int, char**): text 2");
    EXPECT_EQ(next_frame(), prefix + "/src/main.cpp:70 text 3");
    EXPECT_EQ(next_frame(),
              prefix + "/src/main.cpp:-3 zel::libs::core::tcp::socket_impl::setup_receive: text 4");
    EXPECT_EQ(next_frame(), "&vandrel:main 1970-01-01 00:00:00.000 epoch");
}

TEST_F(record_text, components_are_flat_and_prefix_their_own_name) {
    const auto x = logger.component("x");
    x->info("from x");
    x->component("y")->info("from y");
    EXPECT_EQ(next_body("&vandrel:x "), "from x");
    EXPECT_EQ(next_body("&vandrel:y "), "from y");
}

TEST_F(record_text, unmatched_arguments_and_stray_percent_signs_never_throw) {
    EXPECT_NO_THROW(logger.info("%1% and %2%") % "one");
    EXPECT_NO_THROW(logger.info("%1%") % "a" % "b");
    EXPECT_NO_THROW(logger.info("100% done"));
    EXPECT_NO_THROW(logger.info("%1% at 100%") % "x");
    EXPECT_NO_THROW(logger.info("50%% off"));
    EXPECT_EQ(next_bodies(5),
              (std::vector<std::string>{"one and ", "a", "100% done", "%1% at 100%", "50% off"}));
}

TEST_F(record_text, failures_are_logged_with_their_text) {
    const core::source_location thrown_at(9, main_file, "f");
    try {
        throw core::exception("boom", thrown_at);
    } catch (...) {
        logger.log_exception(in_main);
    }
    logger.log_exception(core::exception("direct", thrown_at));
    logger.log_error(make_error_code(boost::system::errc::connection_refused), in_main);
    EXPECT_TRUE(logger.execute([] {}));
    EXPECT_FALSE(logger.execute([] { throw std::runtime_error("failed step"); }));
    EXPECT_EQ(next_bodies(5), (std::vector<std::string>{
                                  "/src/main.cpp:70 Caught exeption", "/src/main.cpp:9 boom",
                                  "/src/main.cpp:9 direct", "/src/main.cpp:70: Connection refused",
                                  "std::exception::what(): failed step"}));
}

}  // namespace
