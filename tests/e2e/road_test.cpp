// The whole road of a debug message: a logger of one process, the relay, and the topic streams
// of another.
#include "relay_process.h"

#include <core/core.h>
#include <core/events_loop.h>
#include <core/logger.h>
#include <core/message_stream.h>

#include <test_support/endpoints.h>
#include <test_support/logger_peer.h>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <vector>

namespace core = zel::libs::core;
using namespace std::chrono_literals;

namespace {

struct road_test : ::testing::Test {
    core::logger logger{"road", "sender"};
    core::core::ptr the_core = core::core::create(logger);
    core::events_loop::ptr loop = the_core->create_events_loop("main");
    zmq::context_t context;

    // Sends _frame to _input, and runs the loop, until _arrived() holds: the stream's
    // subscription reaches the relay asynchronously.
    template <class F>
    bool push_until(const std::string& _input, const std::string& _frame, F _arrived) {
        zmq::socket_t producer(context, zmq::socket_type::push);
        producer.set(zmq::sockopt::linger, 0);
        producer.connect(_input);
        for (int attempt = 0; attempt < 500 && !_arrived(); ++attempt) {
            producer.send(zmq::buffer(_frame), zmq::send_flags::dontwait);
            loop->get_io_context().run_for(10ms);
        }
        return _arrived();
    }
};

TEST_F(road_test, a_record_and_a_status_object_reach_the_streams_of_their_topics) {
    e2e::relay_process relay;
    const auto records_stream = loop->create_zmq_raw_message_stream(relay.output());
    const auto status_stream = loop->create_zmq_message_stream(relay.output());
    std::vector<std::string> records;
    std::vector<std::string> statuses;
    const auto records_subscription = records_stream->subscribe(
        "&road:sender", [&](boost::string_view _frame) { records.emplace_back(_frame); });
    const auto status_subscription = status_stream->subscribe(
        "status", [&](boost::string_view _frame) { statuses.emplace_back(_frame); });

    ASSERT_TRUE(
        push_until(relay.input(), "#status{\"ok\": true}", [&] { return !statuses.empty(); }));
    EXPECT_EQ(statuses.front(), "{\"ok\": true}");

    // The logger's own "Connected to socket" may come first: records are looked for by text.
    const std::regex record("&road:sender " + test_support::date_pattern + "record [0-9]+");
    const auto arrived = [&] {
        return std::any_of(records.begin(), records.end(), [&](const std::string& _record) {
            return std::regex_match(_record, record);
        });
    };
    logger.connect(relay.input());
    for (int attempt = 0; attempt < 500 && !arrived(); ++attempt) {
        logger.info("record %1%") % attempt;
        loop->get_io_context().run_for(10ms);
    }
    EXPECT_TRUE(arrived()) << (records.empty() ? "no record" : records.front());
}

TEST_F(road_test, a_stream_receives_again_from_a_publisher_that_restarts) {
    const auto input = test_support::free_tcp_endpoint();
    const auto output = test_support::free_tcp_endpoint();
    auto relay = std::make_unique<e2e::relay_process>(input, output);
    const auto stream = loop->create_zmq_raw_message_stream(output);
    std::vector<std::string> frames;
    const auto subscription =
        stream->subscribe("", [&](boost::string_view _frame) { frames.emplace_back(_frame); });
    ASSERT_TRUE(push_until(input, "first", [&] { return !frames.empty(); }));

    relay->process().send_signal(SIGTERM);
    EXPECT_EQ(relay->process().wait(15s).exit_status, 0);
    relay = std::make_unique<e2e::relay_process>(input, output);
    EXPECT_TRUE(push_until(input, "again", [&] { return frames.back() == "again"; }));
}

}  // namespace
