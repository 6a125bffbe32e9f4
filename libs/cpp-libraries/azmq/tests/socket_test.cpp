#include "inproc_pipe.hpp"
#include "receive_loop.hpp"

#include <test_support/endpoints.h>
#include <azmq/socket.hpp>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <boost/asio/error.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/system/system_error.hpp>

#include <chrono>
#include <cstdint>
#include <string>

using azmq_test::receive_loop;
using azmq_test::run_until;

TEST(socket, bind_to_a_taken_endpoint_reports_address_in_use) {
    boost::asio::io_context io_context;
    const auto endpoint = test_support::free_tcp_endpoint();
    azmq::pub_socket first(io_context);
    first.bind(endpoint);

    azmq::pub_socket second(io_context);
    boost::system::error_code error;
    second.bind(endpoint, error);
    EXPECT_EQ(error, boost::system::errc::address_in_use);
    EXPECT_EQ(error.category(), azmq::error_category());
    EXPECT_EQ(error.message(), "Address already in use");
    EXPECT_THROW(second.bind(endpoint), boost::system::system_error);

    second.connect("bogus://endpoint", error);
    EXPECT_EQ(error, boost::system::errc::protocol_not_supported);
    EXPECT_THROW(azmq::socket(io_context, -1), boost::system::system_error);
}

TEST(socket, non_blocking_send_without_peer_would_block_and_keeps_the_frame) {
    boost::asio::io_context io_context;
    azmq::detail::specialized_socket<ZMQ_PUSH> push(io_context);
    push.bind(test_support::unique_ipc_endpoint());

    azmq::message frame(std::string("kept"));
    boost::system::error_code error;
    EXPECT_EQ(push.send(std::move(frame), ZMQ_DONTWAIT, error), 0u);
    EXPECT_EQ(error, boost::asio::error::would_block);
    EXPECT_EQ(frame.string(), "kept");
}

TEST(socket, subscriber_gets_only_its_topics) {
    boost::asio::io_context io_context;
    azmq::pub_socket publisher(io_context);
    azmq::sub_socket subscriber(io_context);
    publisher.bind("inproc://socket-topics");
    subscriber.connect("inproc://socket-topics");
    subscriber.set_option(azmq::socket::subscribe("ab"));

    // The subscription reaches the publisher asynchronously: publish until it is in place.
    receive_loop loop(subscriber);
    loop.start();
    ASSERT_TRUE(run_until(io_context, [&] {
        publisher.send(azmq::message(std::string("ab-ready")));
        return !loop.frames().empty();
    }));
    publisher.send(azmq::message(std::string("xy")));
    publisher.send(azmq::message(std::string("ab-last")));
    ASSERT_TRUE(run_until(io_context, [&] { return loop.frames().back() == "ab-last"; }));
    for (const auto& frame : loop.frames()) {
        EXPECT_EQ(frame.substr(0, 2), "ab");
    }
}

TEST(socket, multipart_frames_arrive_one_by_one_with_more) {
    boost::asio::io_context io_context;
    azmq::socket pull(io_context, ZMQ_PULL);
    const auto endpoint = test_support::unique_ipc_endpoint();
    pull.bind(endpoint);
    zmq::context_t context;
    zmq::socket_t push(context, zmq::socket_type::push);
    push.set(zmq::sockopt::linger, 0);
    push.connect(endpoint);
    push.send(zmq::str_buffer("one"), zmq::send_flags::sndmore);
    push.send(zmq::str_buffer(""), zmq::send_flags::sndmore);
    push.send(zmq::str_buffer("three"), zmq::send_flags::none);

    receive_loop loop(pull);
    loop.start();
    ASSERT_TRUE(run_until(io_context, [&] { return loop.frames().size() == 3; }));
    EXPECT_EQ(loop.frames(), (std::vector<std::string>{"one", "", "three"}));
    EXPECT_EQ(loop.more(), (std::vector<bool>{true, true, false}));
    EXPECT_EQ(loop.bytes(), 8u);
}

// A socket kept on an I/O thread the shared context lacks could not bind at all.
TEST(socket, sockets_kept_on_each_io_thread_exchange_frames_over_tcp) {
    boost::asio::io_context io_context;
    for (int thread = 0; thread < azmq::detail::context::io_threads; ++thread) {
        const auto endpoint = test_support::free_tcp_endpoint();
        azmq::socket pull(io_context, ZMQ_PULL);
        pull.set_option(azmq::socket::affinity(std::uint64_t(1) << thread));
        pull.bind(endpoint);
        azmq::socket push(io_context, ZMQ_PUSH);
        const int other = (thread + 1) % azmq::detail::context::io_threads;
        push.set_option(azmq::socket::affinity(std::uint64_t(1) << other));
        push.connect(endpoint);
        push.send(azmq::message(std::to_string(thread)));
        zmq_pollitem_t arrival{pull.native_handle(), 0, ZMQ_POLLIN, 0};
        ASSERT_EQ(zmq_poll(&arrival, 1, 10'000), 1);
        azmq::message frame;
        pull.receive(frame, ZMQ_DONTWAIT);
        EXPECT_EQ(frame.string(), std::to_string(thread));
    }
}

// A receive started on a REQ socket before its request waits for the reply instead of
// failing with EFSM; the reply arrives after the send on the same socket.
TEST(socket, request_receive_started_before_the_request_gets_the_reply) {
    boost::asio::io_context io_context;
    const auto endpoint = test_support::unique_ipc_endpoint();
    zmq::context_t context;
    zmq::socket_t reply(context, zmq::socket_type::rep);
    reply.set(zmq::sockopt::linger, 0);
    reply.set(zmq::sockopt::rcvtimeo, 5000);
    reply.bind(endpoint);
    azmq::detail::specialized_socket<ZMQ_REQ> request(io_context);
    request.connect(endpoint);

    receive_loop loop(request);
    loop.start();
    io_context.poll();
    request.send(azmq::message(std::string("ping")));
    zmq::message_t ping;
    ASSERT_TRUE(reply.recv(ping));
    EXPECT_EQ(ping.to_string(), "ping");
    reply.send(zmq::str_buffer("pong"));

    ASSERT_TRUE(run_until(io_context, [&] { return !loop.frames().empty(); }));
    EXPECT_EQ(loop.frames().front(), "pong");
}

TEST(socket, const_send_shares_the_content_and_keeps_the_message) {
    boost::asio::io_context io_context;
    azmq_test::inproc_pipe pipe(io_context, "socket-const-send");
    azmq::socket& pull = pipe.pull();

    const azmq::message frame(std::string(100, 'c'));
    EXPECT_EQ(pipe.push().send(frame), 100u);
    EXPECT_EQ(pipe.push().send(frame), 100u);
    EXPECT_EQ(frame.size(), 100u);
    azmq::message received;
    pull.receive(received);
    EXPECT_EQ(received.data(), frame.data());
    boost::system::error_code error;
    EXPECT_EQ(pull.receive(received, ZMQ_DONTWAIT, error), 100u);
    EXPECT_EQ(pull.receive(received, ZMQ_DONTWAIT, error), 0u);
    EXPECT_EQ(error, boost::asio::error::would_block);
}

namespace {

// A publisher and its subscriber over inproc, each queue bounded to a few frames, so that a
// burst of sends fills the subscriber's queue and the publisher drops the rest.
struct bounded_publication {
    static constexpr int high_water_mark = 10;

    bounded_publication(boost::asio::io_context& _io_context, const std::string& _endpoint)
        : publisher(_io_context), subscriber(_io_context) {
        set_high_water_mark(publisher, ZMQ_SNDHWM);
        publisher.bind(_endpoint);
        set_high_water_mark(subscriber, ZMQ_RCVHWM);
        subscriber.set_option(azmq::socket::subscribe(""));
        subscriber.connect(_endpoint);
    }

    // Sends a burst well over the bounds, then drains the subscriber: returns what it got.
    int publish_and_count() {
        for (int i = 0; i < 10 * high_water_mark; ++i) {
            publisher.send(azmq::message(std::string("frame")), ZMQ_DONTWAIT);
        }
        int received = 0;
        azmq::message frame;
        boost::system::error_code error;
        while (subscriber.receive(frame, ZMQ_DONTWAIT, error), !error) {
            ++received;
        }
        return received;
    }

    static void set_high_water_mark(azmq::socket& _socket, int _option) {
        ASSERT_EQ(zmq_setsockopt(_socket.native_handle(), _option, &high_water_mark,
                                 sizeof high_water_mark),
                  0);
    }

    azmq::pub_socket publisher;
    azmq::sub_socket subscriber;
};

}  // namespace

// Over inproc the subscriber's reads reach the publisher as commands at once, so the only
// thing between them and the publisher's next sends is their processing, which the publisher
// does on its descriptor's signal, through the io_context, without a call of its own.
TEST(socket, a_publisher_processing_commands_on_arrival_sees_the_room_a_subscriber_made) {
    boost::asio::io_context io_context;
    bounded_publication publication(io_context, "inproc://socket-commands-on-arrival");
    publication.publisher.process_commands_on_arrival();
    // The publisher learns of the subscriber and of its subscription by commands too.
    io_context.poll();
    const int first = publication.publish_and_count();
    ASSERT_GT(first, 0);
    ASSERT_LT(first, 10 * bounded_publication::high_water_mark);

    io_context.poll();
    EXPECT_EQ(publication.publish_and_count(), first);

    publication.publisher.process_commands_on_arrival(false);
    io_context.run_for(std::chrono::seconds(5));
    EXPECT_TRUE(io_context.stopped());
}

// Reading the events processes the commands that tell a publisher how far its subscriber has
// read: right after the subscriber has drained its queue, the publisher's next burst fits whole
// again, while without the read it would still find the queue full.
TEST(socket, events_tell_readiness_and_let_a_publisher_see_the_room_a_subscriber_made) {
    boost::asio::io_context io_context;
    bounded_publication publication(io_context, "inproc://socket-events");
    EXPECT_EQ(publication.subscriber.events() & ZMQ_POLLIN, 0);
    EXPECT_NE(publication.publisher.events() & ZMQ_POLLOUT, 0);
    publication.publisher.send(azmq::message(std::string("first")));
    EXPECT_NE(publication.subscriber.events() & ZMQ_POLLIN, 0);
    const int first = publication.publish_and_count();
    ASSERT_GT(first, 0);
    ASSERT_LT(first, 10 * bounded_publication::high_water_mark);

    publication.publisher.events();
    EXPECT_EQ(publication.publish_and_count(), first);
}

// The peer reads only once the socket is closed, with its queue to the peer full.
TEST(socket, a_linger_set_delivers_what_was_queued_at_close) {
    boost::asio::io_context io_context;
    zmq::context_t context;
    zmq::socket_t pull(context, zmq::socket_type::pull);
    const auto endpoint = test_support::free_tcp_endpoint();
    pull.bind(endpoint);
    // Generous: a sanitizer's build on a loaded machine delivers slowly.
    pull.set(zmq::sockopt::rcvtimeo, 30000);
    int sent = 0;
    {
        azmq::detail::specialized_socket<ZMQ_PUSH> push(io_context);
        push.set_option(azmq::socket::linger(60000));
        push.connect(endpoint);
        boost::system::error_code error;
        while (!error && sent < 1000000) {
            push.send(azmq::message(std::string(256, 'q')), sent == 0 ? 0 : ZMQ_DONTWAIT, error);
            sent += error ? 0 : 1;
        }
    }
    zmq::message_t frame;
    int received = 0;
    while (received < sent && pull.recv(frame)) {
        ++received;
    }
    EXPECT_GE(sent, 1000);
    EXPECT_EQ(received, sent);
}
