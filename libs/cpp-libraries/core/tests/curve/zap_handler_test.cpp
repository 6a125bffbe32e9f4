// CURVE servers secured by the handler, and clients with and without keys, over loopback TCP.
#include "loop_fixture.h"

#include <core/curve/client_keys.h>
#include <core/curve/zap_handler.h>

#include <test_support/endpoints.h>
#include <test_support/scratch_directory.h>

#include <azmq/socket.hpp>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>

namespace curve = zel::libs::core::curve;

namespace {

struct zap_handler_test : loop_fixture {
    test_support::scratch_directory clients{"zap-handler-test"};
    const curve::key_pair server_keys = curve::key_pair::generate();
    const curve::key_pair allowed = allow("allowed");
    curve::zap_handler::ptr handler =
        curve::zap_handler::create(*loop, logger, server_keys, clients.path());
    azmq::socket server{loop->get_io_context(), ZMQ_PULL};
    curve::zap_handler::watch::ptr watch;
    zmq::context_t context;
    std::set<std::string> received;

    curve::key_pair allow(const std::string& _name) {
        const auto pair = curve::key_pair::generate();
        curve::key_pair{pair.public_key, pair.secret_key}.write(clients.path(_name));
        std::remove(clients.path(_name + ".key").c_str());
        return pair;
    }

    std::string bind() {
        watch = handler->secure(server.native_handle(), {});
        server.bind("tcp://127.0.0.1:*");
        receive();
        return server.last_endpoint();
    }

    void receive() {
        server.async_receive(
            [this](boost::system::error_code& _error, azmq::message& _frame, std::size_t) {
                if (!_error) {
                    received.emplace(_frame.string());
                    receive();
                }
            });
    }

    // A client that pushes _frame at once; with keys unless _keys is null.
    std::unique_ptr<zmq::socket_t> push(const std::string& _endpoint, const curve::key_pair* _keys,
                                        const std::string& _frame) {
        auto client = std::make_unique<zmq::socket_t>(context, zmq::socket_type::push);
        client->set(zmq::sockopt::linger, 0);
        if (_keys != nullptr) {
            curve::client_keys{server_keys.public_key, *_keys}.apply(client->handle());
        }
        client->connect(_endpoint);
        (void)client->send(zmq::buffer(_frame), zmq::send_flags::dontwait);
        return client;
    }
};

TEST_F(zap_handler_test, admits_only_the_keys_of_its_directory) {
    const auto endpoint = bind();
    const auto unknown = curve::key_pair::generate();
    const auto plaintext = push(endpoint, nullptr, "plaintext");
    const auto stranger = push(endpoint, &unknown, "unknown");
    const auto friendly = push(endpoint, &allowed, "allowed");

    const auto& refused = handler->refused();
    ASSERT_TRUE(run_until([&] {
        return received.count("allowed") && refused.unknown_key > 0 &&
               refused.plaintext + refused.failed_handshake > 0;
    })) << refused.status();
    EXPECT_EQ(received, std::set<std::string>{"allowed"});
}

TEST_F(zap_handler_test, a_key_added_and_reloaded_is_admitted) {
    const auto endpoint = bind();
    const auto late = curve::key_pair::generate();
    const auto early = push(endpoint, &late, "early");
    ASSERT_TRUE(run_until([&] { return handler->refused().unknown_key > 0; }));

    curve::key_pair{late.public_key, late.secret_key}.write(clients.path("late"));
    handler->reload();
    ASSERT_TRUE(run_until([&] { return handler->reloaded().performed == 1; }));
    const auto again = push(endpoint, &late, "late");
    EXPECT_TRUE(run_until([&] { return received.count("late") != 0; }));
    EXPECT_EQ(received.count("early"), 0U);
}

TEST_F(zap_handler_test, a_socket_whose_handler_is_gone_refuses_every_client) {
    // A monitored server holds such a handshake up to this interval, then drops the peer.
    const int handshake_interval_ms = 200;
    zmq_setsockopt(server.native_handle(), ZMQ_HANDSHAKE_IVL, &handshake_interval_ms,
                   sizeof handshake_interval_ms);
    const auto endpoint = bind();
    handler.reset();
    // Its socket closes once its receive has completed as aborted.
    loop->get_io_context().poll();
    zmq::socket_t client(context, zmq::socket_type::push);
    client.set(zmq::sockopt::linger, 0);
    curve::client_keys{server_keys.public_key, allowed}.apply(client.handle());
    ASSERT_EQ(zmq_socket_monitor(client.handle(), "inproc://zap-handler-test-client",
                                 ZMQ_EVENT_HANDSHAKE_SUCCEEDED | ZMQ_EVENT_DISCONNECTED |
                                     ZMQ_EVENT_HANDSHAKE_FAILED_NO_DETAIL |
                                     ZMQ_EVENT_HANDSHAKE_FAILED_PROTOCOL |
                                     ZMQ_EVENT_HANDSHAKE_FAILED_AUTH),
              0);
    zmq::socket_t events(context, zmq::socket_type::pair);
    events.set(zmq::sockopt::rcvtimeo, 5000);
    events.connect("inproc://zap-handler-test-client");
    client.connect(endpoint);

    zmq::message_t event;
    ASSERT_TRUE(events.recv(event));
    std::uint16_t number = 0;
    std::memcpy(&number, event.data(), sizeof number);
    EXPECT_NE(number, ZMQ_EVENT_HANDSHAKE_SUCCEEDED);
}

TEST_F(zap_handler_test, a_malformed_key_file_is_left_out_and_the_others_admitted) {
    std::FILE* file = std::fopen(clients.path("broken.pub").c_str(), "w");
    std::fputs("not a key\n", file);
    std::fclose(file);
    handler->reload();
    ASSERT_TRUE(run_until([&] { return handler->reloaded().performed == 1; }));
    EXPECT_EQ(handler->reloaded().failed, 1U);
    const auto endpoint = bind();
    const auto friendly = push(endpoint, &allowed, "allowed");
    EXPECT_TRUE(run_until([&] { return received.count("allowed") != 0; }));
}

}  // namespace
