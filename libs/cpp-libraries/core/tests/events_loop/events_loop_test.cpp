#include <core/core.h>
#include <core/events_loop.h>
#include <core/logger.h>

#include <test_support/child_process.h>
#include <test_support/endpoints.h>
#include <test_support/logger_peer.h>

#include <gtest/gtest.h>
#include <boost/asio/steady_timer.hpp>
#include <zmq.hpp>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace core = zel::libs::core;
using namespace std::chrono_literals;

namespace {

struct events_loop_test : ::testing::Test {
    core::logger logger{"vandrel", "main"};
    core::core::ptr the_core = core::core::create(logger);
    core::events_loop::ptr loop = the_core->create_events_loop("main");
};

TEST_F(events_loop_test, stop_before_run_makes_every_run_return_at_once_until_destruction) {
    bool ran = false;
    loop->post([&] { ran = true; }, ZEL_LOCATION);
    loop->stop();
    EXPECT_TRUE(loop->is_stopped());
    loop->run();
    loop->run();
    EXPECT_FALSE(ran);
    // Destruction still gives the queued handler its turn.
    loop.reset();
    EXPECT_TRUE(ran);
}

TEST_F(events_loop_test, a_throwing_handler_leaves_run_and_the_queue_survives) {
    std::vector<int> order;
    loop->post([&] { order.push_back(1); }, ZEL_LOCATION);
    loop->post([] { throw std::runtime_error("handler failed"); }, ZEL_LOCATION);
    loop->post([&] { order.push_back(3); }, ZEL_LOCATION);
    EXPECT_THROW(loop->run(), std::runtime_error);
    EXPECT_EQ(order, std::vector<int>{1});
    EXPECT_FALSE(loop->is_stopped());
    loop->run();
    EXPECT_EQ(order, (std::vector<int>{1, 3}));
}

TEST_F(events_loop_test, run_catch_exceptions_logs_each_exception_with_its_location) {
    zmq::context_t context;
    zmq::socket_t sink(context, zmq::socket_type::pull);
    const auto endpoint = test_support::unique_ipc_endpoint();
    sink.bind(endpoint);
    logger.connect(endpoint);
    sink.set(zmq::sockopt::rcvtimeo, 5000);
    zmq::message_t connected;
    ASSERT_TRUE(sink.recv(connected));  // "Connected to socket"

    int survivors = 0;
    loop->post([] { throw std::runtime_error("first"); }, ZEL_LOCATION);
    loop->post([] { throw 7; }, ZEL_LOCATION);
    loop->post([&] { ++survivors; }, ZEL_LOCATION);
    const core::source_location where(123, "/nowhere/x.cpp", "f()");
    loop->run_catch_exceptions(where);
    EXPECT_EQ(survivors, 1);

    std::vector<std::string> records;
    zmq::message_t frame;
    for (int i = 0; i < 4 && sink.recv(frame); ++i) {
        records.push_back(frame.to_string());
    }
    ASSERT_EQ(records.size(), 4u);
    const std::string location_text = std::string(where.short_file()) + ":123 Caught exeption";
    EXPECT_NE(records[0].find(location_text), std::string::npos) << records[0];
    EXPECT_NE(records[1].find("std::exception::what(): first"), std::string::npos) << records[1];
    EXPECT_NE(records[2].find(location_text), std::string::npos) << records[2];
    EXPECT_NE(records[3].find("Unknown exception"), std::string::npos) << records[3];
    for (const auto& record : records) {
        EXPECT_EQ(record.rfind("&vandrel:core ", 0), 0u) << record;
    }
}

using events_loop_drain_test = test_support::connected_logger;

TEST_F(events_loop_drain_test, a_handler_throwing_in_the_drain_is_logged_and_the_drain_goes_on) {
    auto the_core = core::core::create(logger);
    auto loop = the_core->create_events_loop("main");
    bool later_ran = false;
    loop->post([] { throw std::runtime_error("thrown in the drain"); }, ZEL_LOCATION);
    loop->post([&] { later_ran = true; }, ZEL_LOCATION);
    loop.reset();
    EXPECT_TRUE(later_ran);
    const auto location = next_body("&vandrel:core ");
    EXPECT_NE(location.find("events_loop_impl.cpp:"), std::string::npos) << location;
    const auto what = next_body("&vandrel:core ");
    EXPECT_NE(what.find("std::exception::what(): thrown in the drain"), std::string::npos) << what;
}

TEST_F(events_loop_test, post_runs_on_the_running_thread_never_inside_post) {
    std::atomic<bool> inner_ran{false};
    std::thread::id ran_on;
    bool ran_inside_post = true;
    loop->post(
        [&] {
            loop->post([&] { inner_ran = true; }, ZEL_LOCATION);
            ran_inside_post = inner_ran;
        },
        ZEL_LOCATION);
    std::thread poster(
        [&] { loop->post([&] { ran_on = std::this_thread::get_id(); }, ZEL_LOCATION); });
    poster.join();
    loop->run();
    EXPECT_FALSE(ran_inside_post);
    EXPECT_TRUE(inner_ran);
    EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST_F(events_loop_test, work_holds_run_until_destroyed) {
    auto work = loop->create_work();
    std::atomic<bool> returned{false};
    std::thread runner([&] {
        loop->run();
        returned = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(returned);
    work.reset();
    runner.join();
    EXPECT_TRUE(returned);
    EXPECT_TRUE(loop->is_stopped());
}

TEST_F(events_loop_test, destruction_gives_up_on_work_that_never_completes) {
    // Only the pending handler owns the timer, so it goes with the loop's queue.
    auto never =
        std::make_shared<boost::asio::steady_timer>(loop->get_io_context(), std::chrono::hours(1));
    auto completed = std::make_shared<bool>(false);
    never->async_wait([never, completed](const boost::system::error_code&) { *completed = true; });
    never.reset();
    const auto start = std::chrono::steady_clock::now();
    loop.reset();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(*completed);
    EXPECT_GE(elapsed, 10s);
    EXPECT_LT(elapsed, 20s);
}

TEST_F(events_loop_test, signals_handle_destroyed_without_a_signal_leaves_the_loop_alone) {
    // In a row, so that a thread still inside its start-up or shut-down when the
    // handle goes shows under the sanitizers.
    for (int round = 0; round < 50; ++round) {
        auto handle = loop->stop_on_signals();
        EXPECT_FALSE(handle->signal_is_received());
        handle.reset();
    }
    EXPECT_FALSE(loop->is_stopped());
}

// A signal sent the moment stop_on_signals() returns must stop the loop, not
// kill the process; a second one then finds the default disposition.
int stop_on(int _signal) {
    core::logger logger("vandrel", "main");
    auto the_core = core::core::create(logger);
    auto loop = the_core->create_events_loop("main");
    auto handle = loop->stop_on_signals();
    kill(getpid(), _signal);
    auto work = loop->create_work();
    loop->run();
    if (!handle->signal_is_received() || !loop->is_stopped()) {
        return 2;
    }
    handle.reset();
    std::fputs("stopped by the signal\n", stderr);
    kill(getpid(), _signal);
    std::this_thread::sleep_for(5s);
    return 3;
}

TEST(signals_handle, sigterm_and_sigint_stop_the_loop_then_restore_the_default) {
    for (const int signal_number : {SIGTERM, SIGINT}) {
        const auto result = test_support::run_in_child([=] { return stop_on(signal_number); });
        EXPECT_FALSE(result.exited) << "status " << result.exit_status << "\n"
                                    << result.standard_error;
        EXPECT_EQ(result.term_signal, signal_number);
        EXPECT_NE(result.standard_error.find("stopped by the signal"), std::string::npos)
            << result.standard_error;
    }
}

}  // namespace
