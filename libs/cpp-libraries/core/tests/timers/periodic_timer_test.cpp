#include "loop_fixture.h"

#include <core/exception.h>
#include <core/impl/timers/timers_manager_impl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace core = zel::libs::core;
using namespace std::chrono_literals;

namespace {

using time_point = core::timer::time_point;

// A manager whose clock the test sets. Its instants lie long before the steady
// clock's present, so every one-shot timer is due at once: what a tick carries
// depends only on the clock the test set, never on the machine's speed.
struct manual_clock : core::timers_manager_impl {
    using timers_manager_impl::timers_manager_impl;
    time_point current_time_point() const override { return m_now; }
    time_point m_now;
};

constexpr auto period = 1ms;
const time_point t0(10ms);

struct periodic_timer_test : loop_fixture {
    manual_clock timers{*loop, logger};
    std::vector<time_point> ticks;
    core::periodic_timer::ptr timer;
    core::timer::callback record = [this](time_point _tick) { ticks.push_back(_tick); };

    periodic_timer_test() { timers.m_now = t0; }

    // Sets the clock, then runs the loop until one more tick has come.
    time_point tick_at(time_point _now) {
        timers.m_now = _now;
        const auto count = ticks.size();
        EXPECT_TRUE(run_until([&] { return ticks.size() > count; }));
        return ticks.empty() ? time_point() : ticks.back();
    }
};

TEST_F(periodic_timer_test, ticks_lie_on_the_grid_from_creation) {
    timer = timers.create_periodic_timer(period, "grid", record, ZEL_LOCATION);
    EXPECT_EQ(tick_at(t0 + period), t0 + period);
    EXPECT_EQ(tick_at(t0 + 2 * period + period / 2), t0 + 2 * period);  // late, not shifted
    EXPECT_EQ(tick_at(t0 + 3 * period), t0 + 3 * period);
}

TEST_F(periodic_timer_test, execute_now_delivers_the_creation_instant_first) {
    timer = timers.create_periodic_timer(period, core::periodic_timer::execute_now(), "now", record,
                                         ZEL_LOCATION);
    EXPECT_EQ(tick_at(t0), t0);
    EXPECT_EQ(tick_at(t0 + period), t0 + period);
}

TEST_F(periodic_timer_test, a_loop_blocked_for_three_and_a_half_periods_skips_missed_ticks) {
    timer = timers.create_periodic_timer(period, "blocked", record, ZEL_LOCATION);
    EXPECT_EQ(tick_at(t0 + 4 * period + period / 2), t0 + period);
    EXPECT_EQ(tick_at(t0 + 5 * period), t0 + 5 * period);
    EXPECT_EQ(ticks.size(), 2u);
}

TEST_F(periodic_timer_test, a_tick_ahead_of_the_clock_is_not_delivered_twice) {
    timer = timers.create_periodic_timer(period, "ahead", record, ZEL_LOCATION);
    EXPECT_EQ(tick_at(t0), t0 + period);
    EXPECT_EQ(tick_at(t0), t0 + 2 * period);
}

TEST_F(periodic_timer_test, reset_and_restart_anchor_a_new_grid_at_the_call) {
    timer = timers.create_periodic_timer(period, "anchor", record, ZEL_LOCATION);
    timers.m_now = t0 + period / 4;
    timer->reset(3 * period);
    EXPECT_EQ(tick_at(t0 + 2 * period), t0 + period / 4 + 3 * period);
    timers.m_now = t0 + 10 * period;
    timer->restart();
    EXPECT_EQ(tick_at(t0 + 20 * period), t0 + 13 * period);
    EXPECT_EQ(ticks.size(), 2u);
}

TEST_F(periodic_timer_test, expire_now_delivers_the_present_and_re_anchors_the_grid) {
    timer = timers.create_periodic_timer(period, "expire", record, ZEL_LOCATION);
    const time_point e = t0 + period / 2;
    timers.m_now = e;
    timer->expire_now();
    EXPECT_EQ(tick_at(e), e);
    EXPECT_EQ(tick_at(e + period), e + period);
}

TEST_F(periodic_timer_test, the_callback_has_the_last_word) {
    timer = timers.create_periodic_timer(
        period, "last word",
        [&](time_point _tick) {
            ticks.push_back(_tick);
            if (ticks.size() == 1) {
                timer->restart();  // the grid of t0 + 3.5 periods
            } else if (ticks.size() == 2) {
                timer->expire_now();
            }
        },
        ZEL_LOCATION);
    EXPECT_EQ(tick_at(t0 + 3 * period + period / 2), t0 + period);
    EXPECT_EQ(tick_at(t0 + 5 * period), t0 + 4 * period + period / 2);
    EXPECT_EQ(tick_at(t0 + 5 * period), t0 + 5 * period);
}

TEST_F(periodic_timer_test, stop_or_destruction_inside_the_callback_ends_the_ticking) {
    for (const bool destroy : {false, true}) {
        ticks.clear();
        timers.m_now = t0;
        timer = timers.create_periodic_timer(
            period, "end",
            [&, destroy](time_point _tick) {
                if (destroy) {
                    timer.reset();
                } else {
                    timer->stop();
                }
                ticks.push_back(_tick);
            },
            ZEL_LOCATION);
        timers.m_now = t0 + 5 * period;
        EXPECT_TRUE(run_out());  // nothing is armed any more
        loop->get_io_context().restart();
        EXPECT_EQ(ticks, std::vector<time_point>{t0 + period}) << "destroy " << destroy;
        EXPECT_EQ(timer == nullptr, destroy);
    }
}

TEST_F(periodic_timer_test, expire_now_on_a_stopped_timer_delivers_nothing) {
    timer = timers.create_periodic_timer(period, "stopped", record, ZEL_LOCATION);
    timer->stop();
    timer->expire_now();
    EXPECT_TRUE(run_out());
    EXPECT_TRUE(ticks.empty());
}

TEST_F(periodic_timer_test, a_period_of_zero_or_less_is_refused) {
    for (const auto bad : {0ns, -1ns}) {
        EXPECT_THROW(timers.create_periodic_timer(bad, "bad", record, ZEL_LOCATION),
                     core::exception);
    }
    timer = timers.create_periodic_timer(period, "kept", record, ZEL_LOCATION);
    try {
        timer->reset(0ns);
        ADD_FAILURE() << "reset(0) was accepted";
    } catch (const core::exception& _error) {
        EXPECT_NE(std::string(_error.what()).find("\"kept\""), std::string::npos) << _error.what();
    }
    EXPECT_EQ(tick_at(t0 + period), t0 + period);  // the old grid is intact
}

// The steady clock itself: nominal instants, whatever the machine's speed.
TEST_F(loop_fixture, a_periodic_timer_on_the_steady_clock_skips_while_the_loop_is_blocked) {
    constexpr auto p = 20ms;
    std::vector<time_point> ticks;
    const time_point before = std::chrono::steady_clock::now();
    core::periodic_timer::ptr timer;
    timer = loop->create_periodic_timer(
        p, "steady",
        [&](time_point _tick) {
            ticks.push_back(_tick);
            if (ticks.size() == 1) {
                std::this_thread::sleep_for(3 * p + p / 2);
            } else if (ticks.size() == 3) {
                timer->stop();
            }
        },
        ZEL_LOCATION);
    const time_point after = std::chrono::steady_clock::now();
    EXPECT_TRUE(run_out());
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_GE(ticks[0], before + p);
    EXPECT_LE(ticks[0], after + p);
    // The tick armed before the block comes once; the next one lies after it.
    EXPECT_GE(ticks[1], ticks[0] + p);
    EXPECT_GE(ticks[2], ticks[0] + 4 * p);
    for (const auto tick : ticks) {
        EXPECT_EQ((tick - ticks[0]) % p, 0ns);
    }
}

}  // namespace
