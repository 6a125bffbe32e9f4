#include "inproc_pipe.hpp"
#include "receive_loop.hpp"

#include <test_support/endpoints.h>
#include <azmq/socket.hpp>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <boost/asio/error.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

using azmq_test::inproc_pipe;
using azmq_test::receive_loop;
using azmq_test::run_until;

namespace {

// A PUSH peer of its own context, queueing without limit. It must outlive the delivery of
// what it sent: libzmq drops much of a long queue when the socket closes.
class pusher {
public:
    explicit pusher(const std::string& _endpoint) : m_socket(m_context, zmq::socket_type::push) {
        m_socket.set(zmq::sockopt::linger, 0);
        m_socket.set(zmq::sockopt::sndhwm, 0);
        m_socket.connect(_endpoint);
    }

    void send_numbers(int _count) {
        for (int i = 0; i < _count; ++i) {
            m_socket.send(zmq::buffer(std::to_string(i)), zmq::send_flags::none);
        }
    }

private:
    zmq::context_t m_context;
    zmq::socket_t m_socket;
};

bool numbered(const std::vector<std::string>& _frames, int _count) {
    if (_frames.size() != static_cast<std::size_t>(_count)) {
        return false;
    }
    for (int i = 0; i < _count; ++i) {
        if (_frames[i] != std::to_string(i)) {
            return false;
        }
    }
    return true;
}

}  // namespace

class async_receive_burst : public ::testing::TestWithParam<bool> {};

// Edge-triggered wake-ups under a burst: every frame arrives, in order, while the receiver
// drains the socket, and none is left behind in a drained descriptor.
TEST_P(async_receive_burst, receives_a_burst_whole_and_in_order) {
    boost::asio::io_context io_context;
    azmq::detail::specialized_socket<ZMQ_PULL> pull(io_context, GetParam());
    const auto endpoint = test_support::free_tcp_endpoint();
    pull.bind(endpoint);
    receive_loop loop(pull);
    loop.start();

    pusher peer(endpoint);
    std::thread sender([&] { peer.send_numbers(100000); });
    const bool complete = run_until(
        io_context, [&] { return loop.frames().size() >= 100000; }, std::chrono::seconds(60));
    sender.join();
    ASSERT_TRUE(complete) << loop.frames().size() << " frames";
    EXPECT_TRUE(numbered(loop.frames(), 100000));
}

INSTANTIATE_TEST_SUITE_P(locking, async_receive_burst, ::testing::Values(false, true));

TEST(async_receive_threads, two_io_threads_and_two_sockets_share_one_io_context) {
    boost::asio::io_context io_context;
    azmq::socket first(io_context, ZMQ_PULL);
    azmq::socket second(io_context, ZMQ_PULL);
    const auto first_endpoint = test_support::unique_ipc_endpoint();
    const auto second_endpoint = test_support::unique_ipc_endpoint();
    first.bind(first_endpoint);
    second.bind(second_endpoint);
    receive_loop first_loop(first);
    receive_loop second_loop(second);
    first_loop.start();
    second_loop.start();

    auto guard = boost::asio::make_work_guard(io_context);
    std::thread runner([&] { io_context.run(); });
    std::thread other_runner([&] { io_context.run(); });
    pusher first_peer(first_endpoint);
    pusher second_peer(second_endpoint);
    first_peer.send_numbers(20000);
    second_peer.send_numbers(20000);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((first_loop.count() < 20000 || second_loop.count() < 20000) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Cancelled from this thread while the io_context's threads run.
    first.cancel();
    second.cancel();
    guard.reset();
    runner.join();
    other_runner.join();
    EXPECT_TRUE(numbered(first_loop.frames(), 20000)) << first_loop.frames().size();
    EXPECT_TRUE(numbered(second_loop.frames(), 20000)) << second_loop.frames().size();
    EXPECT_EQ(first_loop.error(), boost::asio::error::operation_aborted);
    EXPECT_EQ(second_loop.error(), boost::asio::error::operation_aborted);
}

TEST(async_receive_completion, a_queued_frame_completes_later_through_the_io_context) {
    boost::asio::io_context io_context;
    inproc_pipe pipe(io_context, "async-queued");
    azmq::socket& pull = pipe.pull();
    pipe.push().send(azmq::message(std::string("queued")));

    bool called = false;
    pull.async_receive([&](boost::system::error_code& _error, azmq::message& _frame, std::size_t) {
        called = true;
        EXPECT_FALSE(_error);
        EXPECT_EQ(_frame.string(), "queued");
    });
    EXPECT_FALSE(called);
    EXPECT_EQ(io_context.poll(), 1u);
    EXPECT_TRUE(called);
}

TEST(async_receive_completion, cancel_aborts_and_lets_the_io_context_run_out_of_work) {
    boost::asio::io_context io_context;
    azmq::socket pull(io_context, ZMQ_PULL);
    pull.bind("inproc://async-cancel");
    receive_loop loop(pull);
    loop.start();
    loop.start();
    io_context.poll();
    pull.cancel();
    io_context.run_for(std::chrono::seconds(5));
    EXPECT_TRUE(io_context.stopped());
    EXPECT_EQ(loop.error(), boost::asio::error::operation_aborted);

    // Still usable afterwards.
    azmq::socket push(io_context, ZMQ_PUSH);
    push.connect("inproc://async-cancel");
    push.send(azmq::message(std::string("after")));
    loop.start();
    ASSERT_TRUE(run_until(io_context, [&] { return !loop.frames().empty(); }));
    EXPECT_EQ(loop.frames().front(), "after");
}

TEST(async_receive_completion, destroying_the_socket_aborts_pending_receives) {
    boost::asio::io_context io_context;
    auto pull = std::make_unique<azmq::socket>(io_context, ZMQ_PULL);
    pull->bind(test_support::unique_ipc_endpoint());
    auto results = std::make_shared<std::vector<boost::system::error_code>>();
    for (int i = 0; i < 2; ++i) {
        pull->async_receive([results](auto& _error, auto&, auto) { results->push_back(_error); });
    }
    io_context.poll();
    pull.reset();
    EXPECT_TRUE(results->empty());
    io_context.run_for(std::chrono::seconds(5));
    EXPECT_TRUE(io_context.stopped());
    ASSERT_EQ(results->size(), 2u);
    EXPECT_EQ(results->front(), boost::asio::error::operation_aborted);
}

// The handler of one receive destroys its socket while a second receive is queued behind it:
// the second is aborted and nothing runs against the destroyed socket.
TEST(async_receive_completion, a_handler_may_destroy_its_socket) {
    boost::asio::io_context io_context;
    azmq::socket push(io_context, ZMQ_PUSH);
    auto pull = std::make_unique<azmq::socket>(io_context, ZMQ_PULL);
    pull->bind("inproc://async-destroy");
    push.connect("inproc://async-destroy");
    push.send(azmq::message(std::string("one")));
    push.send(azmq::message(std::string("two")));

    std::vector<boost::system::error_code> results;
    pull->async_receive([&](auto& _error, auto&, auto) {
        results.push_back(_error);
        pull.reset();
    });
    pull->async_receive([&](auto& _error, auto&, auto) { results.push_back(_error); });
    io_context.run_for(std::chrono::seconds(5));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_FALSE(results[0]);
    EXPECT_EQ(results[1], boost::asio::error::operation_aborted);
}

// A send on the socket processes its mailbox and drains the descriptor's signal of a frame
// that arrived meanwhile; the pending receive must get the frame anyway, and the wait it no
// longer needs must not keep the io_context busy.
TEST(async_receive_completion, a_send_on_the_same_socket_does_not_swallow_the_wake_up) {
    boost::asio::io_context io_context;
    azmq::socket pair(io_context, ZMQ_PAIR);
    azmq::socket peer(io_context, ZMQ_PAIR);
    pair.bind("inproc://async-pair");
    peer.connect("inproc://async-pair");
    std::string received;
    pair.async_receive(
        [&](auto&, azmq::message& _frame, auto) { received = std::string(_frame.string()); });
    io_context.poll();

    peer.send(azmq::message(std::string("arrived")));
    // libzmq processes the mailbox on send at most once per millisecond or so.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    pair.send(azmq::message(std::string("reply")));
    ASSERT_TRUE(run_until(
        io_context, [&] { return !received.empty(); }, std::chrono::seconds(2)));
    EXPECT_EQ(received, "arrived");
    io_context.run_for(std::chrono::seconds(2));
    EXPECT_TRUE(io_context.stopped());
}

// An exception leaves run() as in the relay; the receive the handler re-armed first is
// served when run() is entered again.
TEST(async_receive_completion, an_exception_from_a_handler_keeps_the_next_receive) {
    boost::asio::io_context io_context;
    inproc_pipe pipe(io_context, "async-throw");
    azmq::socket& pull = pipe.pull();
    pipe.push().send(azmq::message(std::string("boom")));
    pipe.push().send(azmq::message(std::string("next")));

    receive_loop loop(pull);
    pull.async_receive([&](auto&, auto&, auto) {
        loop.start();
        throw std::runtime_error("handler failed");
    });
    EXPECT_THROW(io_context.run(), std::runtime_error);
    io_context.restart();
    ASSERT_TRUE(run_until(io_context, [&] { return !loop.frames().empty(); }));
    EXPECT_EQ(loop.frames().front(), "next");
}
