#include "loop_fixture.h"

#include <core/impl/timers/timers_manager_impl.h>

#include <test_support/endpoints.h>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <chrono>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace core = zel::libs::core;
using namespace std::chrono_literals;

namespace {

using time_point = core::timer::time_point;

struct timer_test : loop_fixture {
    std::vector<time_point> fired;
    core::timer::callback record = [this](time_point _time_point) { fired.push_back(_time_point); };
    const time_point now = std::chrono::steady_clock::now();
};

// An hour late, the callback still receives the instant it was armed for.
TEST_F(timer_test, a_past_instant_fires_on_the_next_turn_with_that_instant) {
    const time_point past = now - 1h;
    bool waiting_inside = true;
    core::timer::ptr timer;
    timer = loop->create_timer(
        past, "past",
        [&](time_point _time_point) {
            fired.push_back(_time_point);
            waiting_inside = timer->is_waiting();
        },
        ZEL_LOCATION);
    EXPECT_TRUE(timer->is_waiting());
    EXPECT_TRUE(fired.empty());
    EXPECT_TRUE(run_out());
    EXPECT_EQ(fired, std::vector<time_point>{past});
    EXPECT_FALSE(waiting_inside);
    EXPECT_FALSE(timer->is_waiting());
}

TEST_F(timer_test, zero_duration_fires_on_the_next_turn_never_inside_creation) {
    auto timer = loop->get_timers().create_timer(0ns, "zero", record, ZEL_LOCATION);
    EXPECT_TRUE(fired.empty());
    EXPECT_TRUE(run_out());
    EXPECT_EQ(fired.size(), 1u);
}

TEST_F(timer_test, reset_inside_the_callback_fires_again_at_the_new_instant) {
    core::timer::ptr timer;
    timer = loop->create_timer(
        now - 2h, "again",
        [&](time_point _time_point) {
            fired.push_back(_time_point);
            if (fired.size() == 1) {
                timer->reset(now - 1h);
                EXPECT_TRUE(timer->is_waiting());
            }
        },
        ZEL_LOCATION);
    EXPECT_TRUE(run_out());
    EXPECT_EQ(fired, (std::vector<time_point>{now - 2h, now - 1h}));
}

TEST_F(timer_test, reset_twice_in_a_row_fires_once_for_the_later_instant) {
    auto timer = loop->create_timer(now - 3h, "twice", record, ZEL_LOCATION);
    timer->reset(now - 2h);
    timer->reset(now - 1h);
    EXPECT_TRUE(run_out());
    EXPECT_EQ(fired, std::vector<time_point>{now - 1h});
}

TEST_F(timer_test, a_callback_may_destroy_its_own_timer) {
    core::timer::ptr timer;
    std::string seen;
    timer = loop->create_timer(
        now, "self",
        [&, text = std::string(100, 'x')](time_point) {
            timer.reset();
            seen = text;  // the callback's own state outlives the timer
        },
        ZEL_LOCATION);
    EXPECT_TRUE(run_out());
    EXPECT_EQ(timer, nullptr);
    EXPECT_EQ(seen, std::string(100, 'x'));
}

// The first timer's completion runs when the second one's has already been
// queued by the same turn of the reactor: both instants have passed.
TEST_F(timer_test, a_completion_queued_before_stop_or_reset_never_runs_the_callback) {
    for (const auto action : {0, 1, 2}) {
        fired.clear();
        auto queued = loop->create_timer(now - 1h, "queued", record, ZEL_LOCATION);
        auto first = loop->create_timer(
            now - 2h, "first",
            [&](time_point) {
                if (action == 0) {
                    queued->stop();
                } else if (action == 1) {
                    queued->reset(now - 30min);
                } else {
                    queued->reset(now - 1h);  // the same instant again
                }
            },
            ZEL_LOCATION);
        EXPECT_TRUE(run_out());
        loop->get_io_context().restart();
        const std::vector<std::vector<time_point>> expected = {{}, {now - 30min}, {now - 1h}};
        EXPECT_EQ(fired, expected[action]) << "action " << action;
        EXPECT_FALSE(queued->is_waiting());
    }
}

TEST_F(timer_test, the_aborted_completion_of_an_earlier_wait_leaves_is_waiting_alone) {
    auto timer = loop->create_timer(now + 1h, "far", record, ZEL_LOCATION);
    timer->stop();
    EXPECT_FALSE(timer->is_waiting());
    timer->reset(now + 2h);
    bool marker = false;
    loop->post([&] { marker = true; }, ZEL_LOCATION);
    ASSERT_TRUE(run_until([&] { return marker; }));
    EXPECT_TRUE(timer->is_waiting());
    EXPECT_TRUE(fired.empty());
}

TEST_F(timer_test, stop_and_destruction_run_no_callback_and_log_nothing) {
    zmq::context_t context;
    zmq::socket_t sink(context, zmq::socket_type::pull);
    const auto endpoint = test_support::unique_ipc_endpoint();
    sink.bind(endpoint);
    sink.set(zmq::sockopt::rcvtimeo, 5000);
    logger.connect(endpoint);
    logger.info("ready");
    zmq::message_t record_frame;
    do {  // past the connection's own record, if any
        ASSERT_TRUE(sink.recv(record_frame));
    } while (record_frame.to_string().find("ready") == std::string::npos);

    auto stopped = loop->create_timer(now - 1h, "stopped", record, ZEL_LOCATION);
    stopped->stop();
    stopped.reset();
    loop->create_timer(now - 1h, "dropped", record, ZEL_LOCATION).reset();
    EXPECT_TRUE(run_out());
    EXPECT_TRUE(fired.empty());
    logger.info("sentinel");
    ASSERT_TRUE(sink.recv(record_frame));
    EXPECT_NE(record_frame.to_string().find("sentinel"), std::string::npos)
        << record_frame.to_string();
}

TEST_F(timer_test, the_duration_form_goes_through_the_time_point_form) {
    struct recording_manager : core::timers_manager_impl {
        using timers_manager_impl::create_timer;
        using timers_manager_impl::timers_manager_impl;
        core::timer::ptr create_timer(time_point _time_point, const std::string& _name,
                                      core::timer::callback _callback,
                                      core::source_location _location) override {
            requested.push_back(_time_point);
            return timers_manager_impl::create_timer(_time_point, _name, std::move(_callback),
                                                     _location);
        }
        std::vector<time_point> requested;
    } manager(*loop, logger);
    const time_point before = std::chrono::steady_clock::now();
    auto timer = manager.create_timer(1h, "hour", record, ZEL_LOCATION);
    ASSERT_EQ(manager.requested.size(), 1u);
    EXPECT_GE(manager.requested[0], before + 1h);
    EXPECT_LE(manager.requested[0], std::chrono::steady_clock::now() + 1h);
}

TEST(timestamp, the_wall_clock_reading_truncates_to_milliseconds) {
    static_assert(!std::is_constructible<core::timestamp, int>::value, "a number is no instant");
    const auto stamp = core::timers_manager_impl::make_timestamp({1700000000, 999999999});
    EXPECT_EQ(stamp.m_time_point.time_since_epoch().count(), 1700000000999);
    EXPECT_EQ(core::timestamp(1700000000999ms).m_time_point, stamp.m_time_point);
}

TEST_F(timer_test, current_timestamp_reads_the_wall_clock) {
    using std::chrono::time_point_cast;
    const auto before =
        time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
    const auto stamp = loop->get_timers().current_timestamp();
    const auto after = std::chrono::system_clock::now();
    EXPECT_LE(before, stamp.m_time_point);
    EXPECT_LE(stamp.m_time_point, after);
}

}  // namespace
