#include "relay_process.h"

#include <test_support/endpoints.h>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct relay_test : ::testing::Test {
    zmq::context_t context;
    e2e::relay_process relay;
    zmq::socket_t subscriber{context, zmq::socket_type::sub};
    zmq::socket_t producer{context, zmq::socket_type::push};

    void SetUp() override {
        subscriber.set(zmq::sockopt::rcvhwm, 0);
        subscriber.set(zmq::sockopt::subscribe, "");
        subscriber.connect(relay.output());
        producer.set(zmq::sockopt::linger, 0);
        producer.connect(relay.input());
        ASSERT_TRUE(relay.wait_until_relaying(context, subscriber))
            << relay.process().wait(std::chrono::seconds(1)).standard_error;
    }

    std::string receive(zmq::socket_t& _socket, bool* _more = nullptr) {
        zmq::message_t frame;
        if (!_socket.recv(frame)) {
            ADD_FAILURE() << "no frame within the timeout";
            return {};
        }
        if (_more != nullptr) {
            *_more = frame.more();
        }
        return frame.to_string();
    }

    void stop_and_expect_clean_exit(int _signal) {
        const auto start = std::chrono::steady_clock::now();
        relay.process().send_signal(_signal);
        const auto result = relay.process().wait(15s);
        // Within the loop's drain bound: the cancelled receive must not hold it.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_TRUE(result.exited);
        EXPECT_EQ(result.exit_status, 0);
        const auto& log = result.standard_error;
        const auto exit_record = log.find("/src/main.cpp:");
        ASSERT_NE(exit_record, std::string::npos) << log;
        EXPECT_NE(log.find(" exit\n", exit_record), std::string::npos) << log;
        EXPECT_EQ(log.find(" exit\n", log.find(" exit\n") + 1), std::string::npos) << log;
    }
};

TEST_F(relay_test, frames_of_several_producers_arrive_unchanged_and_in_order) {
    constexpr int producers = 3;
    constexpr int frames = 500;
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
        threads.emplace_back([&, p] {
            zmq::socket_t push(context, zmq::socket_type::push);
            push.set(zmq::sockopt::linger, 0);
            push.set(zmq::sockopt::sndtimeo, 10000);
            push.connect(relay.input());
            for (int i = 0; i < frames; ++i) {
                // A PUB socket drops what a subscriber's queue cannot hold:
                // paced, nothing is lost and the order can be checked whole.
                if (i % 50 == 0) {
                    std::this_thread::sleep_for(5ms);
                }
                const auto text = "p" + std::to_string(p) + " " + std::to_string(i);
                push.send(zmq::buffer(text), zmq::send_flags::none);
            }
        });
    }
    std::map<int, int> next;
    for (int received = 0; received < producers * frames; ++received) {
        const auto text = receive(subscriber);
        if (text.size() < 3 || text[0] != 'p') {
            ADD_FAILURE() << "unexpected frame '" << text << "' after " << received;
            break;
        }
        const int p = text[1] - '0';
        EXPECT_EQ(text.substr(3), std::to_string(next[p]++)) << "producer " << p;
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int p = 0; p < producers; ++p) {
        EXPECT_EQ(next[p], frames);
    }
}

// Sent without pause, the frames queue at the input and go out several per completion. With
// the probes before them they stay under the output's high-water mark even if the output has not
// yet learnt of any of them read, so none may be dropped.
TEST_F(relay_test, a_burst_of_queued_frames_arrives_whole_and_in_order) {
    constexpr int frames = 600;
    for (int i = 0; i < frames; ++i) {
        producer.send(zmq::buffer(std::to_string(i)), zmq::send_flags::none);
    }
    for (int i = 0; i < frames; ++i) {
        const auto text = receive(subscriber);
        ASSERT_EQ(text, std::to_string(i));
    }
}

TEST_F(relay_test, a_multipart_message_arrives_as_single_frames_in_order) {
    producer.send(zmq::str_buffer("one"), zmq::send_flags::sndmore);
    producer.send(zmq::str_buffer("two"), zmq::send_flags::sndmore);
    producer.send(zmq::str_buffer("three"), zmq::send_flags::none);
    for (const char* expected : {"one", "two", "three"}) {
        bool more = true;
        EXPECT_EQ(receive(subscriber, &more), expected);
        EXPECT_FALSE(more);
    }
}

TEST_F(relay_test, empty_binary_and_large_frames_arrive_unchanged) {
    std::string binary;
    for (int byte = 0; byte < 256; ++byte) {
        binary.push_back(static_cast<char>(byte));
    }
    std::string large(4 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<char>(i * 7919 % 251);
    }
    for (const std::string& frame : {std::string(), binary, large}) {
        producer.send(zmq::buffer(frame), zmq::send_flags::none);
        EXPECT_EQ(receive(subscriber), frame);
    }
}

TEST_F(relay_test, subscribers_get_what_their_prefixes_select) {
    zmq::socket_t filtered(context, zmq::socket_type::sub);
    filtered.set(zmq::sockopt::subscribe, "&app:");
    filtered.set(zmq::sockopt::subscribe, "probe");
    filtered.connect(relay.output());
    ASSERT_TRUE(relay.wait_until_relaying(context, filtered));
    // The first subscriber saw the probes too, up to the same last marker.
    ASSERT_TRUE(e2e::drain_probes(subscriber));

    for (const char* frame : {"&other:main x", "&app:main first", "&ap", "&app:db second"}) {
        producer.send(zmq::buffer(std::string(frame)), zmq::send_flags::none);
    }
    EXPECT_EQ(receive(filtered), "&app:main first");
    EXPECT_EQ(receive(filtered), "&app:db second");
    for (const char* frame : {"&other:main x", "&app:main first", "&ap", "&app:db second"}) {
        EXPECT_EQ(receive(subscriber), frame);
    }
    filtered.set(zmq::sockopt::rcvtimeo, 100);
    zmq::message_t extra;
    EXPECT_FALSE(filtered.recv(extra));
}

TEST_F(relay_test, garbage_on_the_input_port_does_not_stop_the_relay) {
    const auto port = std::stoi(relay.input().substr(relay.input().rfind(':') + 1));
    for (int connection = 0; connection < 5; ++connection) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        const std::string garbage(4096, static_cast<char>(0xFF));
        EXPECT_GT(write(fd, garbage.data(), garbage.size()), 0);
        close(fd);
    }
    producer.send(zmq::str_buffer("still relaying"), zmq::send_flags::none);
    EXPECT_EQ(receive(subscriber), "still relaying");
}

// Watches a socket for the loss of its connection.
class disconnection_watch {
public:
    disconnection_watch(zmq::context_t& _context, zmq::socket_t& _socket, const std::string& _name)
        : m_events(_context, zmq::socket_type::pair) {
        const std::string endpoint = "inproc://" + _name;
        zmq_socket_monitor(_socket.handle(), endpoint.c_str(), ZMQ_EVENT_DISCONNECTED);
        m_events.set(zmq::sockopt::rcvtimeo, 10000);
        m_events.connect(endpoint);
    }

    bool seen() {
        zmq::message_t event;
        return m_events.recv(event).has_value();
    }

private:
    zmq::socket_t m_events;
};

TEST_F(relay_test, a_peer_sending_an_oversized_subscription_or_frame_loses_its_connection) {
    zmq::socket_t greedy_subscriber(context, zmq::socket_type::sub);
    disconnection_watch subscriber_watch(context, greedy_subscriber, "greedy-subscriber");
    greedy_subscriber.set(zmq::sockopt::subscribe, std::string(8192, 's'));
    greedy_subscriber.connect(relay.output());
    EXPECT_TRUE(subscriber_watch.seen());

    zmq::socket_t greedy_producer(context, zmq::socket_type::push);
    disconnection_watch producer_watch(context, greedy_producer, "greedy-producer");
    greedy_producer.set(zmq::sockopt::linger, 0);
    greedy_producer.connect(relay.input());
    const std::string oversized(64 * 1024 * 1024 + 1, 'f');
    greedy_producer.send(zmq::buffer(oversized), zmq::send_flags::none);
    EXPECT_TRUE(producer_watch.seen());

    producer.send(zmq::str_buffer("still relaying"), zmq::send_flags::none);
    EXPECT_EQ(receive(subscriber), "still relaying");

    // A long but sane topic is kept and selects its frames.
    const std::string topic(4000, 't');
    zmq::socket_t long_topic(context, zmq::socket_type::sub);
    long_topic.set(zmq::sockopt::subscribe, topic);
    long_topic.set(zmq::sockopt::rcvtimeo, 50);
    long_topic.connect(relay.output());
    bool selected = false;
    for (int attempt = 0; attempt < 200 && !selected; ++attempt) {
        producer.send(zmq::buffer(topic + "x"), zmq::send_flags::none);
        zmq::message_t frame;
        selected = long_topic.recv(frame).has_value();
    }
    EXPECT_TRUE(selected);
}

TEST_F(relay_test, sigterm_logs_exit_once_and_exits_with_status_zero) {
    stop_and_expect_clean_exit(SIGTERM);
}

TEST_F(relay_test, sigint_logs_exit_once_and_exits_with_status_zero) {
    producer.send(zmq::str_buffer("in flight"), zmq::send_flags::none);
    EXPECT_EQ(receive(subscriber), "in flight");
    stop_and_expect_clean_exit(SIGINT);
}

TEST_F(relay_test, sighup_is_logged_and_relaying_goes_on) {
    relay.process().send_signal(SIGHUP);
    EXPECT_TRUE(relay.process().wait_for_stderr("SIGHUP: nothing to reload", 5s));
    producer.send(zmq::str_buffer("after SIGHUP"), zmq::send_flags::none);
    EXPECT_EQ(receive(subscriber), "after SIGHUP");
    stop_and_expect_clean_exit(SIGTERM);
}

TEST(relay, frames_without_subscribers_are_dropped_and_relaying_goes_on) {
    zmq::context_t context;
    e2e::relay_process relay;
    zmq::socket_t producer(context, zmq::socket_type::push);
    producer.set(zmq::sockopt::linger, 0);
    producer.set(zmq::sockopt::sndtimeo, 10000);
    producer.connect(relay.input());
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(producer.send(zmq::str_buffer("nobody listens"), zmq::send_flags::none));
    }
    zmq::socket_t subscriber(context, zmq::socket_type::sub);
    subscriber.set(zmq::sockopt::subscribe, "");
    subscriber.connect(relay.output());
    // Frames published before the subscription reached the relay were
    // dropped by ZeroMQ; the relay must still be at work afterwards. Some of
    // the early frames may still be queued behind the probes on a slow
    // machine, so they are allowed ahead of the last one, never after it.
    ASSERT_TRUE(relay.wait_until_relaying(context, subscriber))
        << relay.process().wait(std::chrono::seconds(1)).standard_error;
    // The early frames may also reach the subscriber all at once, and the output then drops
    // what its subscriber's queue seems too full to take, as ZeroMQ does for any subscriber:
    // the last frame is sent again until it arrives.
    subscriber.set(zmq::sockopt::rcvtimeo, 100);
    bool heard = false;
    for (int attempt = 0; attempt < 100 && !heard; ++attempt) {
        producer.send(zmq::str_buffer("heard"), zmq::send_flags::none);
        zmq::message_t frame;
        while (!heard && subscriber.recv(frame)) {
            heard = frame.to_string() == "heard";
            ASSERT_TRUE(heard || frame.to_string() == "nobody listens" ||
                        frame.to_string() == "probe")
                << frame.to_string();
        }
    }
    EXPECT_TRUE(heard);
}

TEST(relay, launched_by_systemd_writes_nothing_on_standard_error) {
    zmq::context_t context;
    e2e::relay_process relay({}, {}, {"ZEL_LAUNCHED_BY_SYSTEMD=1"});
    zmq::socket_t subscriber(context, zmq::socket_type::sub);
    subscriber.set(zmq::sockopt::subscribe, "");
    subscriber.connect(relay.output());
    ASSERT_TRUE(relay.wait_until_relaying(context, subscriber));
    relay.process().send_signal(SIGTERM);
    const auto result = relay.process().wait(15s);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.standard_error, "");
}

TEST(relay, relays_between_ipv6_endpoints) {
    zmq::context_t context;
    const auto endpoint = [] {
        return "tcp://[::1]:" + std::to_string(test_support::free_tcp_port());
    };
    e2e::relay_process relay(endpoint(), endpoint());
    zmq::socket_t subscriber(context, zmq::socket_type::sub);
    subscriber.set(zmq::sockopt::ipv6, true);
    subscriber.set(zmq::sockopt::subscribe, "");
    subscriber.connect(relay.output());
    EXPECT_TRUE(relay.wait_until_relaying(context, subscriber))
        << relay.process().wait(std::chrono::seconds(1)).standard_error;
}

// As with "vandrel -c f 2>&1 | head -1": the records after the reader has gone
// must not kill the relay.
TEST(relay, a_standard_error_nobody_reads_does_not_end_it) {
    zmq::context_t context;
    e2e::relay_process relay;
    zmq::socket_t subscriber(context, zmq::socket_type::sub);
    subscriber.set(zmq::sockopt::subscribe, "");
    subscriber.connect(relay.output());
    ASSERT_TRUE(relay.wait_until_relaying(context, subscriber));
    relay.process().close_standard_error();
    relay.process().send_signal(SIGTERM);
    const auto result = relay.process().wait(15s);
    EXPECT_TRUE(result.exited) << "signal " << result.term_signal;
    EXPECT_EQ(result.exit_status, 0);
}

}  // namespace
