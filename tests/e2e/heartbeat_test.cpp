// The example service of the family against the real relay: its heartbeats reach a subscriber of
// the relay's output under their topic, in order, and it leaves cleanly on SIGTERM.
#include "relay_process.h"

#include <test_support/child_process.h>
#include <test_support/logger_peer.h>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <signal.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

const std::string heartbeat_topic = "&heartbeat_service:heartbeat ";

test_support::child_result run_service(const std::vector<std::string>& _args) {
    test_support::child_process service(HEARTBEAT_SERVICE_BINARY, _args);
    return service.wait(20s);
}

TEST(heartbeat_service, successive_heartbeats_reach_a_subscriber_of_the_relay) {
    zmq::context_t context;
    e2e::relay_process relay;
    zmq::socket_t subscriber(context, zmq::socket_type::sub);
    subscriber.set(zmq::sockopt::linger, 0);
    // The probes of wait_until_relaying must get through as well as the heartbeats.
    subscriber.set(zmq::sockopt::subscribe, "probe");
    subscriber.set(zmq::sockopt::subscribe, heartbeat_topic);
    subscriber.connect(relay.output());
    ASSERT_TRUE(relay.wait_until_relaying(context, subscriber))
        << relay.process().wait(1s).standard_error;

    // The subscription is in place before the first heartbeat, and the service queues its records
    // until it reaches the relay: none is lost, so the first two are 1 and 2.
    test_support::child_process service(HEARTBEAT_SERVICE_BINARY,
                                        {"-a", relay.input(), "-i", "50"});
    const std::regex record(heartbeat_topic + test_support::date_pattern + "heartbeat ([0-9]+)");
    std::vector<std::string> heartbeats;
    for (int read = 0; read < 2; ++read) {
        zmq::message_t frame;
        ASSERT_TRUE(subscriber.recv(frame)) << "no heartbeat within the timeout, service log:\n"
                                            << service.wait(1s).standard_error;
        const std::string text = frame.to_string();
        std::smatch match;
        ASSERT_TRUE(std::regex_match(text, match, record)) << text;
        heartbeats.push_back(match[1].str());
    }
    EXPECT_EQ(heartbeats, (std::vector<std::string>{"1", "2"}));

    service.send_signal(SIGTERM);
    const auto result = service.wait(15s);
    EXPECT_TRUE(result.exited) << result.standard_error;
    EXPECT_EQ(result.exit_status, 0) << result.standard_error;
}

TEST(heartbeat_service, bad_usage_is_status_2_and_a_refused_endpoint_status_1) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-i", "0"}, {"-i", "1x"}, {"-i"}, {"-x"}, {"extra"}}) {
        const auto result = run_service(args);
        EXPECT_EQ(result.exit_status, 2) << args.front() << "\n" << result.standard_error;
        EXPECT_NE(result.standard_error.find("Usage: "), std::string::npos)
            << result.standard_error;
    }
    const auto refused = run_service({"-a", "nope://x"});
    EXPECT_EQ(refused.exit_status, 1) << refused.standard_error;
    EXPECT_NE(refused.standard_error.find("Cannot connect the debug socket to nope://x: "
                                          "Protocol not supported"),
              std::string::npos)
        << refused.standard_error;
}

}  // namespace
