#include "loop_fixture.h"

#include <core/exception.h>
#include <core/tcp/manager.h>

#include <test_support/child_process.h>

#include <gtest/gtest.h>
#include <boost/asio/error.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/system/system_error.hpp>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace core = zel::libs::core;
namespace tcp = zel::libs::core::tcp;

namespace {

struct tcp_test : loop_fixture {
    tcp::manager& manager() { return loop->get_tcp(); }

    // A listener on 127.0.0.1 whose accepted connections are kept in accepted.
    void listen() {
        acceptor = manager().listen("127.0.0.1", 0);
        acceptor->set_callback(
            [this](tcp::socket::ptr _connection) { accepted.push_back(std::move(_connection)); });
    }

    tcp::socket::ptr connect() {
        auto client = manager().connect("127.0.0.1", acceptor->local_endpoint().port());
        const auto count = accepted.size();
        EXPECT_TRUE(run_until([&] { return accepted.size() > count; }));
        return client;
    }

    tcp::acceptor::ptr acceptor;
    std::vector<tcp::socket::ptr> accepted;
};

TEST_F(tcp_test, an_accepted_connection_receives_and_hears_of_the_peers_close_once) {
    acceptor = manager().listen(core::ip_protocol::v4, 0);
    EXPECT_EQ(acceptor->local_endpoint().address().to_string(), "0.0.0.0");
    acceptor->set_callback(
        [this](tcp::socket::ptr _connection) { accepted.push_back(std::move(_connection)); });
    // Ports keep their low 16 bits.
    auto client = manager().connect("127.0.0.1", acceptor->local_endpoint().port() + 65536);
    ASSERT_TRUE(run_until([&] { return accepted.size() == 1; }));
    auto& server = *accepted.front();
    EXPECT_EQ(server.get_remote_endpoint().address().to_string(), "127.0.0.1");
    EXPECT_EQ(client->get_remote_endpoint().port(), acceptor->local_endpoint().port());
    std::string received;
    int closes = 0;
    server.set_receive_callback(
        [&](boost::string_view _data) { received.append(_data.data(), _data.size()); });
    server.set_close_callback([&] { ++closes; });
    for (char byte : std::string("one byte at a time")) {
        EXPECT_EQ(client->send_some(std::string(1, byte)), 1u);
    }
    EXPECT_EQ(client->send_some(""), 0u);
    EXPECT_TRUE(run_until([&] { return received == "one byte at a time"; }));
    client.reset();
    EXPECT_TRUE(run_until([&] { return closes == 1; }));
    loop->get_io_context().run_for(std::chrono::milliseconds(20));
    EXPECT_EQ(closes, 1);
}

TEST_F(tcp_test, a_large_send_goes_out_in_parts_with_one_can_send_call_per_wait) {
    listen();
    auto client = connect();
    std::string sent(10 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<char>(i * 131 % 251);
    }
    std::string received;
    accepted.front()->set_receive_callback(
        [&](boost::string_view _data) { received.append(_data.data(), _data.size()); });
    std::size_t offset = 0;
    int waits = 0;
    int can_send_calls = 0;
    const auto send_what_fits = [&] {
        while (offset < sent.size()) {
            const auto part = client->send_some(boost::string_view(sent).substr(offset));
            if (part == 0) {
                ++waits;
                client->notify_that_send_is_possible();
                client->notify_that_send_is_possible();
                return;
            }
            offset += part;
        }
    };
    client->set_can_send_callback([&] {
        ++can_send_calls;
        send_what_fits();
    });
    send_what_fits();
    EXPECT_GT(waits, 0);
    EXPECT_TRUE(run_until([&] { return received.size() == sent.size(); }));
    EXPECT_EQ(can_send_calls, waits);
    EXPECT_TRUE(received == sent);
}

TEST_F(tcp_test, a_reset_connection_is_reported_as_a_close) {
    listen();
    boost::asio::ip::tcp::socket peer(loop->get_io_context());
    peer.connect(acceptor->local_endpoint());
    ASSERT_TRUE(run_until([&] { return accepted.size() == 1; }));
    const auto peer_address = peer.local_endpoint();
    tcp::socket::endpoint remote;
    accepted.front()->set_receive_callback([](boost::string_view) {});
    accepted.front()->set_close_callback([&] { remote = accepted.front()->get_remote_endpoint(); });
    peer.set_option(boost::asio::socket_base::linger(true, 0));
    peer.close();
    EXPECT_TRUE(run_until([&] { return remote == peer_address; }));
    EXPECT_THROW(accepted.front()->send_some("to nobody"), boost::system::system_error);
}

TEST_F(tcp_test, callbacks_are_refused_empty_and_may_destroy_their_objects) {
    EXPECT_THROW(manager().listen("localhost", 0), boost::system::system_error);
    EXPECT_THROW(manager().connect("localhost", 1), boost::system::system_error);
    acceptor = manager().listen("::1", 0);
    EXPECT_THROW(acceptor->set_callback(nullptr), core::exception);
    tcp::socket::ptr server;
    acceptor->set_callback([&](tcp::socket::ptr _connection) {
        server = std::move(_connection);
        acceptor.reset();
    });
    auto client = manager().connect("::1", acceptor->local_endpoint().port());
    ASSERT_TRUE(run_until([&] { return acceptor == nullptr; }));
    // Nothing was left to do for a moment: the loop ran out of work.
    loop->get_io_context().restart();
    EXPECT_THROW(server->set_receive_callback(nullptr), core::exception);
    int calls = 0;
    server->set_receive_callback([&](boost::string_view) {
        ++calls;
        server.reset();
    });
    client->send_some("first");
    EXPECT_TRUE(run_until([&] { return server == nullptr; }));
    client->send_some("second");
    client.reset();
    EXPECT_TRUE(run_out());
    EXPECT_EQ(calls, 1);
}

// Each connection that has received holds no receive buffer of its own.
TEST_F(tcp_test, a_thousand_connections_that_received_hold_little_memory) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    listen();
    int received = 0;
    const auto before = mallinfo2().uordblks;
    std::vector<int> clients;
    const auto close_all =
        core::make_scope_guard([&] { std::for_each(clients.begin(), clients.end(), close); });
    for (int i = 0; i < 1000; ++i) {
        clients.push_back(socket(AF_INET, SOCK_STREAM, 0));
        const auto server = acceptor->local_endpoint();
        ASSERT_EQ(::connect(clients.back(), server.data(), static_cast<socklen_t>(server.size())),
                  0);
        ASSERT_EQ(send(clients.back(), "x", 1, 0), 1);
        ASSERT_TRUE(run_until([&] { return accepted.size() == clients.size(); }));
        accepted.back()->set_receive_callback(
            [&](boost::string_view _data) { received += static_cast<int>(_data.size()); });
    }
    for (int round = 0; round < 10 && received < 1000; ++round) {
        run_until([&] { return received == 1000; });
    }
    EXPECT_EQ(received, 1000);
    EXPECT_LT(mallinfo2().uordblks - before, 1000u * 4096);
}

// Out of descriptors, accepts fail; the listener goes on and accepts again once some are free.
int accept_after_running_out_of_descriptors() {
    core::logger logger("vandrel", "main");
    const auto the_core = core::core::create(logger);
    const auto loop = the_core->create_events_loop("main");
    auto acceptor = loop->get_tcp().listen("127.0.0.1", 0);
    std::vector<tcp::socket::ptr> accepted;
    acceptor->set_callback(
        [&](tcp::socket::ptr _connection) { accepted.push_back(std::move(_connection)); });
    const auto address = acceptor->local_endpoint();
    // Everything the starved part goes through is done once before: the sanitizers' runtime
    // needs a descriptor to check a type it meets for the first time.
    {
        boost::asio::ip::tcp::socket first(loop->get_io_context());
        first.connect(address);
        boost::asio::steady_timer timer(loop->get_io_context(), std::chrono::milliseconds(1));
        timer.async_wait([](const boost::system::error_code&) {});
        loop->get_io_context().run_for(std::chrono::milliseconds(50));
        logger.log_error(boost::asio::error::would_block, ZEL_LOCATION);
        accepted.clear();
    }
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const int spare = dup(0);
    limit.rlim_cur = static_cast<rlim_t>(spare + 8);
    close(spare);
    setrlimit(RLIMIT_NOFILE, &limit);
    std::vector<int> clients;
    for (int i = 0; i < 64; ++i) {
        const int client = socket(AF_INET, SOCK_STREAM, 0);
        if (client < 0) {
            break;
        }
        clients.push_back(client);
        connect(client, address.data(), static_cast<socklen_t>(address.size()));
    }
    loop->get_io_context().run_for(std::chrono::milliseconds(300));
    const auto before = accepted.size();
    if (clients.size() < 2) {
        return 2;
    }
    for (const int client : clients) {
        close(client);
    }
    loop->get_io_context().run_for(std::chrono::milliseconds(500));
    return accepted.size() > before ? 0 : 1;
}

TEST(tcp_acceptor, accepts_again_once_descriptors_are_free) {
    const auto result = test_support::run_in_child(accept_after_running_out_of_descriptors);
    EXPECT_TRUE(result.exited) << result.standard_error;
    EXPECT_EQ(result.exit_status, 0) << result.standard_error;
    EXPECT_NE(result.standard_error.find("Too many open files"), std::string::npos)
        << result.standard_error;
}

}  // namespace
