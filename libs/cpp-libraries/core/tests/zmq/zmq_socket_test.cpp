#include "loop_fixture.h"

#include <core/exception.h>
#include <core/zmq/manager.h>
#include <core/zmq/socket_options.h>

#include <test_support/endpoints.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace core = zel::libs::core;
namespace czmq = zel::libs::core::zmq;
using type = czmq::socket::type;

namespace {

std::string text(const czmq::message& _frame) {
    return std::string(_frame.string());
}

struct zmq_socket_test : loop_fixture {
    czmq::manager& manager() { return loop->get_zmq(); }

    // A PULL socket bound to a fresh endpoint and a PUSH socket connected to it. Over inproc,
    // frames pushed before a receive starts are all ready for it.
    void make_pipe() {
        static int pipes = 0;
        const auto endpoint = "inproc://zmq-socket-test-" + std::to_string(pipes++);
        pull = manager().bind(type::pull, endpoint);
        push = manager().connect(type::push, endpoint);
    }

    void push_frames(const std::vector<std::string>& _frames, czmq::flags _flags) {
        for (const auto& frame : _frames) {
            push->send(czmq::message(frame), _flags);
        }
    }

    // Records every frame pull delivers.
    void record() {
        pull->set_receive_callback([this](czmq::message& _frame) { seen.push_back(text(_frame)); });
    }

    czmq::socket::ptr pull;
    czmq::socket::ptr push;
    std::vector<std::string> seen;
};

TEST_F(zmq_socket_test, a_failed_bind_names_the_address_and_a_connect_needs_no_peer) {
    const auto endpoint = test_support::free_tcp_endpoint();
    const auto first = manager().bind(type::pull, endpoint);
    try {
        manager().bind(type::pull, endpoint);
        FAIL() << "no exception";
    } catch (const core::exception& e) {
        EXPECT_EQ(e.get_string_error(),
                  "zmq::socket_impl::bind to " + endpoint + ": Address already in use");
        EXPECT_EQ(e.get_source_location().short_file(),
                  "/libs/cpp-libraries/core/src/impl/zmq/socket_impl.cpp");
    }
    EXPECT_NO_THROW(manager().connect(type::push, test_support::free_tcp_endpoint()));
    EXPECT_THROW(manager().connect(type::push, "bogus://nowhere"), core::exception);
}

TEST_F(zmq_socket_test, further_frames_are_read_with_receive_more_or_arrive_one_by_one) {
    make_pipe();
    push_frames({"a1", "a2"}, czmq::flags::sndmore);
    push_frames({"a3"}, czmq::flags::none);
    push_frames({"b1"}, czmq::flags::sndmore);
    push_frames({"b2"}, czmq::flags::none);
    bool read_whole = true;
    pull->set_receive_callback([&](czmq::message& _frame) {
        std::string call = text(_frame);
        for (bool more = _frame.more(); read_whole && more;) {
            const auto next = pull->receive_more();
            call += "+" + text(next);
            more = next.more();
        }
        read_whole = false;
        seen.push_back(call);
    });
    EXPECT_TRUE(run_until([&] { return seen.size() == 3; }));
    EXPECT_EQ(seen, (std::vector<std::string>{"a1+a2+a3", "b1", "b2"}));
}

TEST_F(zmq_socket_test, a_callback_may_replace_itself_and_an_empty_one_is_refused) {
    make_pipe();
    EXPECT_THROW(pull->set_receive_callback(nullptr), core::exception);
    pull->set_receive_callback([&, name = std::string(64, 'x')](czmq::message& _frame) {
        pull->set_receive_callback(
            [&](czmq::message& _next) { seen.push_back("second " + text(_next)); });
        // Still this callback's own state: the replacement waits until it returns.
        seen.push_back(name + text(_frame));
    });
    EXPECT_THROW(pull->set_receive_callback(nullptr), core::exception);
    push_frames({"1", "2", "3"}, czmq::flags::none);
    EXPECT_TRUE(run_until([&] { return seen.size() == 3; }));
    EXPECT_EQ(seen, (std::vector<std::string>{std::string(64, 'x') + "1", "second 2", "second 3"}));
}

TEST_F(zmq_socket_test, try_send_without_a_peer_drops_the_frame_for_good) {
    // Bound with no peer yet, and connected where nobody listens yet.
    for (const bool connecting : {false, true}) {
        seen.clear();
        const auto endpoint = test_support::unique_ipc_endpoint();
        push = connecting ? manager().connect(type::push, endpoint)
                          : manager().bind(type::push, endpoint);
        int accepted = 0;
        for (int i = 0; i < 1500; ++i) {
            accepted += push->try_send(czmq::message(std::string("dropped")));
        }
        EXPECT_EQ(accepted, 0) << connecting;
        pull = connecting ? manager().bind(type::pull, endpoint)
                          : manager().connect(type::pull, endpoint);
        record();
        bool sent = false;
        for (int attempt = 0; attempt < 500 && !sent; ++attempt) {
            loop->get_io_context().run_for(std::chrono::milliseconds(10));
            sent = push->try_send(czmq::message(std::string("kept")));
        }
        EXPECT_TRUE(sent);
        EXPECT_TRUE(run_until([&] { return !seen.empty(); }));
        EXPECT_EQ(seen, std::vector<std::string>{"kept"}) << connecting;
    }
}

TEST_F(zmq_socket_test, a_socket_holds_no_more_than_its_options_allow) {
    czmq::socket_options options;
    options.m_send_high_water_mark = 3;
    options.m_receive_high_water_mark = 4;
    pull = manager().bind(type::pull, "inproc://zmq-socket-test-limits", options);
    push = manager().connect(type::push, "inproc://zmq-socket-test-limits", options);
    int queued = 0;
    while (queued < 100 && push->try_send(czmq::message(std::string("q")))) {
        ++queued;
    }
    // An inproc pipe holds both ends' marks.
    EXPECT_EQ(queued, 7);

    // A frame above the largest inbound message costs its sender the connection, and never
    // arrives; the sender connects again.
    options = czmq::socket_options();
    options.m_max_message_size = 100;
    const auto endpoint = test_support::unique_ipc_endpoint();
    pull = manager().bind(type::pull, endpoint, options);
    push = manager().connect(type::push, endpoint);
    record();
    bool sent = false;
    for (int attempt = 0; attempt < 500 && !sent; ++attempt) {
        loop->get_io_context().run_for(std::chrono::milliseconds(10));
        sent = push->try_send(czmq::message(std::string(101, 'x')));
    }
    EXPECT_TRUE(sent);
    for (int attempt = 0; attempt < 500 && seen.empty(); ++attempt) {
        push->try_send(czmq::message(std::string(100, 'y')));
        loop->get_io_context().run_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), std::string(100, 'y'));
}

TEST_F(zmq_socket_test, a_throwing_callback_leaves_run_and_the_next_run_goes_on) {
    make_pipe();
    pull->set_receive_callback([&](czmq::message& _frame) {
        seen.push_back(text(_frame));
        if (seen.size() == 1) {
            throw std::runtime_error("callback failed");
        }
    });
    push_frames({"1", "2"}, czmq::flags::none);
    EXPECT_THROW(run_until([&] { return seen.size() == 2; }), std::runtime_error);
    EXPECT_TRUE(run_until([&] { return seen.size() == 2; }));
}

TEST_F(zmq_socket_test, stop_inside_a_callback_ends_run_before_the_next_frame) {
    make_pipe();
    push_frames({"1", "2", "3"}, czmq::flags::none);
    pull->set_receive_callback([&](czmq::message& _frame) {
        seen.push_back(text(_frame));
        loop->stop();
    });
    for (std::size_t turn = 1; turn <= 3; ++turn) {
        loop->get_io_context().restart();
        loop->run();
        EXPECT_EQ(seen.size(), turn);
    }
}

TEST_F(zmq_socket_test, a_socket_destroyed_in_its_callback_or_while_waiting_calls_nothing_more) {
    make_pipe();
    pull->set_receive_callback([&](czmq::message& _frame) {
        seen.push_back(text(_frame));
        pull.reset();
    });
    push_frames({"1", "2"}, czmq::flags::none);
    EXPECT_TRUE(run_until([&] { return pull == nullptr; }));

    make_pipe();
    record();
    pull.reset();
    EXPECT_TRUE(run_out());
    EXPECT_EQ(seen, std::vector<std::string>{"1"});
}

}  // namespace
