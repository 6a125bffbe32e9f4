#include "loop_fixture.h"

#include <core/exception.h>
#include <core/message_stream.h>
#include <core/zmq/manager.h>
#include <test_support/endpoints.h>

#include <azmq/socket.hpp>

#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace core = zel::libs::core;
namespace czmq = zel::libs::core::zmq;

namespace {

using frames = std::vector<std::string>;

struct message_stream_test : loop_fixture {
    message_stream_test() {
        static int streams = 0;
        endpoint = "inproc://message-stream-test-" + std::to_string(streams++);
        publisher = loop->get_zmq().bind(czmq::socket::type::pub, endpoint);
    }

    core::message_stream::subscription::ptr record(core::message_stream& _stream,
                                                   const std::string& _topic, frames& _into) {
        return _stream.subscribe(
            _topic, [&_into](boost::string_view _frame) { _into.emplace_back(_frame); });
    }

    void publish(const frames& _frames) {
        for (const auto& frame : _frames) {
            publisher->send(czmq::message(frame));
        }
    }

    // Publishes _probe until _arrived() holds: subscriptions reach the publisher asynchronously.
    template <class F>
    bool publish_until(const std::string& _probe, F _arrived) {
        for (int attempt = 0; attempt < 500 && !_arrived(); ++attempt) {
            publish({_probe});
            loop->get_io_context().run_for(std::chrono::milliseconds(10));
        }
        return _arrived();
    }

    // Publishes _frames and a last one that _last_seen receives, and runs until it has.
    void publish_and_wait(const frames& _frames, const std::string& _last, frames& _last_seen) {
        publish(_frames);
        publish({_last});
        EXPECT_TRUE(run_until([&] { return !_last_seen.empty() && _last_seen.back() == _last; }));
    }

    std::string endpoint;
    czmq::socket::ptr publisher;
};

TEST_F(message_stream_test, a_frame_goes_to_every_subscribed_topic_that_begins_it) {
    const auto stream = loop->create_zmq_raw_message_stream(endpoint);
    frames all, app, comp, sub;
    // In this order, as the publisher learns them: once the last one is there, all are.
    const auto all_subscription = record(*stream, "", all);
    const auto app_subscription = record(*stream, "&app:", app);
    const auto comp_subscription = record(*stream, "&app:comp", comp);
    const auto sub_subscription = record(*stream, "&app:comp:sub", sub);
    ASSERT_TRUE(publish_until("&app:comp:sub probe", [&] { return !sub.empty(); }));
    for (frames* seen : {&app, &comp, &sub, &all}) {
        seen->clear();
    }
    publish_and_wait({"&app:comp:sub 1", "&app:comp 2", "&app:other 3", "zz 4"}, "end", all);
    EXPECT_EQ(sub, (frames{"&app:comp:sub 1"}));
    EXPECT_EQ(comp, (frames{"&app:comp:sub 1", "&app:comp 2"}));
    EXPECT_EQ(app, (frames{"&app:comp:sub 1", "&app:comp 2", "&app:other 3"}));
    EXPECT_EQ(all, (frames{"&app:comp:sub 1", "&app:comp 2", "&app:other 3", "zz 4", "end"}));
    EXPECT_THROW(stream->subscribe("t", nullptr), core::exception);
}

// Over TCP, where libzmq 4.3.4 loses every frame of a connection once it has subscribed to 246 to
// 255 bytes. Each topic ends with the byte where the frames of the longer ones go on otherwise.
TEST_F(message_stream_test, topics_of_every_length_get_exactly_their_frames) {
    endpoint = test_support::free_tcp_endpoint();
    publisher = loop->get_zmq().bind(czmq::socket::type::pub, endpoint);
    const auto stream = loop->create_zmq_raw_message_stream(endpoint);
    std::vector<std::size_t> lengths{1000};
    for (std::size_t length = 240; length <= 260; ++length) {
        lengths.push_back(length);
    }
    frames all, sent;
    std::vector<frames> seen(lengths.size());
    std::vector<core::message_stream::subscription::ptr> subscriptions;
    subscriptions.push_back(record(*stream, "", all));
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        const std::string topic = std::string(lengths[i] - 1, 'a') + 'b';
        subscriptions.push_back(record(*stream, topic, seen[i]));
        sent.push_back(topic + std::to_string(i));
    }
    ASSERT_TRUE(publish_until(sent.back(), [&] { return !seen.back().empty(); }));
    all.clear();
    seen.back().clear();
    sent.push_back(std::string(300, 'a'));
    publish_and_wait(sent, "end", all);
    // Half the topics dropped, the others keep theirs.
    for (std::size_t i = 0; i < lengths.size(); i += 2) {
        subscriptions[1 + i].reset();
    }
    loop->get_io_context().poll();
    publish_and_wait(sent, "again", all);
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        EXPECT_EQ(seen[i], frames(i % 2 == 0 ? 1 : 2, sent[i])) << lengths[i] << " bytes";
    }
    frames twice = sent;
    twice.push_back("end");
    twice.insert(twice.end(), sent.begin(), sent.end());
    twice.push_back("again");
    EXPECT_EQ(all, twice);
}

// Over TCP, as inproc has no connections to tell of. A callback set once the stream is connected
// is told so too.
TEST_F(message_stream_test, connections_are_told_also_to_a_callback_set_after_them) {
    const std::string tcp_endpoint = test_support::free_tcp_endpoint();
    auto tcp_publisher = loop->get_zmq().bind(czmq::socket::type::pub, tcp_endpoint);
    const auto stream = loop->create_zmq_raw_message_stream(tcp_endpoint);
    frames all;
    const auto subscription = record(*stream, "", all);
    for (int attempt = 0; attempt < 500 && all.empty(); ++attempt) {
        tcp_publisher->send(czmq::message("probe"));
        loop->get_io_context().run_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(all.empty());

    std::vector<bool> changes;
    stream->on_connection_change([&](bool _connected) { changes.push_back(_connected); });
    EXPECT_TRUE(run_until([&] { return changes.size() == 1; }));
    tcp_publisher.reset();
    EXPECT_TRUE(run_until([&] { return changes.size() == 2; }));
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
}

TEST_F(message_stream_test, raw_subscribers_get_frames_of_any_content_unchanged) {
    const auto stream = loop->create_zmq_raw_message_stream(endpoint);
    frames all;
    const auto subscription = record(*stream, "", all);
    ASSERT_TRUE(publish_until("probe", [&] { return !all.empty(); }));
    all.clear();
    std::string binary;
    for (int byte = 0; byte < 256; ++byte) {
        binary.push_back(static_cast<char>(byte));
    }
    const frames sent{"", binary, std::string(4 * 1024 * 1024, '\0')};
    publish_and_wait(sent, "end", all);
    EXPECT_EQ(all, (frames{sent[0], sent[1], sent[2], "end"}));
}

TEST_F(message_stream_test, subscribers_of_a_topic_are_called_in_order_until_they_let_go) {
    const auto stream = loop->create_zmq_raw_message_stream(endpoint);
    frames calls;
    core::message_stream::subscription::ptr second;
    core::message_stream::subscription::ptr late;
    const auto first = stream->subscribe("t", [&](boost::string_view _frame) {
        calls.push_back("first " + std::string(_frame));
        if (_frame == "t-drop") {
            second.reset();
        } else if (_frame == "t-join") {
            // Appended while the list is walked: it gets the next frames, not this one.
            late = stream->subscribe("t", [&](boost::string_view _next) {
                calls.push_back("late " + std::string(_next));
            });
        }
    });
    second = stream->subscribe("t", [&](boost::string_view _frame) {
        calls.push_back("second " + std::string(_frame));
        if (_frame == "t-self") {
            second.reset();  // while its own call runs
            calls.push_back("second after letting go");
        }
    });
    ASSERT_TRUE(publish_until("t-probe", [&] { return !calls.empty(); }));
    calls.clear();
    publish({"t-self", "t-1", "t-join", "t-2"});
    EXPECT_TRUE(run_until([&] { return calls.size() == 7; }));
    EXPECT_EQ(calls, (frames{"first t-self", "second t-self", "second after letting go",
                             "first t-1", "first t-join", "first t-2", "late t-2"}));
}

TEST_F(message_stream_test, a_stream_destroyed_by_a_callback_finishes_the_frame) {
    auto stream = loop->create_zmq_raw_message_stream(endpoint);
    frames calls;
    const auto destroyer = stream->subscribe("", [&](boost::string_view) {
        calls.push_back("destroyer");
        stream.reset();
    });
    const auto after = stream->subscribe("", [&](boost::string_view) { calls.push_back("after"); });
    ASSERT_TRUE(publish_until("probe", [&] { return stream == nullptr; }));
    EXPECT_EQ(calls, (frames{"destroyer", "after"}));
}

TEST_F(message_stream_test, json_subscribers_get_the_object_of_frames_of_their_topic) {
    const auto stream = loop->create_zmq_message_stream(endpoint);
    frames status, hashed, digit, high;
    const auto status_subscription = record(*stream, "status", status);
    const auto hashed_subscription = record(*stream, "#h", hashed);
    const auto digit_subscription = record(*stream, "1d", digit);
    const auto high_subscription = record(*stream, "\xC3\xA9", high);
    ASSERT_TRUE(publish_until("#status{}", [&] { return !status.empty(); }));
    status.clear();
    publish({"#status no object", "#status-x {\"a\": 1} tail", "status{\"plain\": 1}",
             "#h{\"h\": 1}", "1d{\"d\": 1}", "\xC3\xA9{\"e\": 1}"});
    publish({"#status{\"end\": 1}"});
    EXPECT_TRUE(run_until([&] { return status.size() == 2; }));
    EXPECT_EQ(status, (frames{"{\"a\": 1} tail", "{\"end\": 1}"}));
    EXPECT_EQ(hashed, frames{"{\"h\": 1}"});
    EXPECT_EQ(digit, frames{"{\"d\": 1}"});
    EXPECT_EQ(high, frames{"{\"e\": 1}"});
    EXPECT_THROW(stream->subscribe("status", nullptr), core::exception);
}

// A publisher that hands over the subscriptions it gets: byte 1 then the topic, or 0 then the
// topic when unsubscribed.
struct message_stream_subscriptions_test : loop_fixture {
    message_stream_subscriptions_test() { restart_publisher(); }

    // The endpoint is free again only once ZeroMQ has closed the previous publisher's listener.
    void restart_publisher() {
        publisher.reset();
        publisher = std::make_unique<azmq::socket>(loop->get_io_context(), ZMQ_XPUB);
        publisher->set_option(azmq::detail::integer_option<ZMQ_XPUB_VERBOSE, int>(1));
        publisher->set_option(azmq::detail::integer_option<ZMQ_RCVTIMEO, int>(10));
        boost::system::error_code error;
        for (int attempt = 0; attempt < 100 && (publisher->bind(endpoint, error), error);
             ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_FALSE(error) << error.message();
    }

    // The distinct topics of the first _count messages of _kind, the loop running meanwhile
    // (the stream's socket attaches connections in it), waiting at most 5 s in all for them.
    std::size_t receive_topics(char _kind, std::size_t _count) {
        std::unordered_set<std::string> topics;
        azmq::message message;
        boost::system::error_code error;
        for (int idle = 0; idle < 500 && topics.size() < _count;) {
            publisher->receive(message, 0, error);
            const auto* bytes = static_cast<const char*>(message.data());
            if (error) {
                ++idle;
                loop->get_io_context().poll();
            } else if (message.size() > 0 && bytes[0] == _kind) {
                topics.emplace(bytes + 1, message.size() - 1);
            }
        }
        return topics.size();
    }

    std::string endpoint = test_support::free_tcp_endpoint();
    std::unique_ptr<azmq::socket> publisher;
};

TEST_F(message_stream_subscriptions_test, every_topic_reaches_the_publisher_and_its_successor) {
    const auto stream = loop->create_zmq_raw_message_stream(endpoint);
    std::vector<core::message_stream::subscription::ptr> subscriptions;
    for (int topic = 0; topic < 3000; ++topic) {
        subscriptions.push_back(stream->subscribe(std::to_string(topic) + "/", [](auto) {}));
    }
    EXPECT_EQ(receive_topics(1, 3000), 3000u);
    restart_publisher();
    EXPECT_EQ(receive_topics(1, 3000), 3000u);
}

TEST_F(message_stream_subscriptions_test, the_topic_of_a_last_dropped_subscription_goes) {
    // Large blocks glibc maps apart count in hblkhd only.
    const auto in_use = [] { return static_cast<long>(mallinfo2().uordblks + mallinfo2().hblkhd); };
    const auto churn = [](core::message_stream& _stream) {
        for (int topic = 0; topic < 100000; ++topic) {
            _stream.subscribe(std::to_string(topic) + "/", [](auto) {});
        }
    };
    auto stream = loop->create_zmq_raw_message_stream(endpoint);
    frames kept_frames;
    const auto record = [&](boost::string_view _frame) { kept_frames.emplace_back(_frame); };
    auto kept = stream->subscribe("kept", record);
    ASSERT_EQ(receive_topics(1, 1), 1u);
    auto heap_before = in_use();
    churn(*stream);
    // Replaced before the removal its predecessor left to the loop has run: the topic stays.
    kept = stream->subscribe("kept", record);
    loop->get_io_context().poll();
    EXPECT_EQ(receive_topics(0, 100000), 100000u);
    EXPECT_LT(in_use() - heap_before, 1L << 20);
    publisher->send(azmq::message(std::string("kept")));
    EXPECT_TRUE(run_until([&] { return !kept_frames.empty(); }));

    // Nothing piles up for a publisher that never came.
    const auto unconnected = loop->create_zmq_raw_message_stream(test_support::free_tcp_endpoint());
    heap_before = in_use();
    churn(*unconnected);
    loop->get_io_context().poll();
    EXPECT_LT(in_use() - heap_before, 1L << 20);
    stream.reset();  // kept outlives it
}

}  // namespace
