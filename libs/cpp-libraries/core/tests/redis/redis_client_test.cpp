#include "loop_fixture.h"

#include <core/exception.h>
#include <core/redis/context.h>

#include <gtest/gtest.h>
#include <test_support/endpoints.h>
#include <test_support/redis_server.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/optional.hpp>

#include <signal.h>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace redis = zel::libs::core::redis;
using zel::libs::core::iteration_result;

namespace {

using context_result = boost::optional<std::unique_ptr<redis::context>>;

// A server that lies: on each connection it answers the first command (SELECT) "+OK" and every
// later one with its _answer, on a thread of its own while the test's loop blocks.
class lying_server {
public:
    explicit lying_server(std::string _answer) : m_answer(std::move(_answer)) {
        accept();
        m_thread = std::thread([this] { m_io_context.run_for(std::chrono::seconds(30)); });
    }
    ~lying_server() {
        m_io_context.stop();
        m_thread.join();
    }
    int port() const { return m_acceptor.local_endpoint().port(); }

private:
    using tcp = boost::asio::ip::tcp;
    void accept() {
        m_acceptor.async_accept([this](boost::system::error_code _ec, tcp::socket _socket) {
            if (!_ec) {
                answer(std::make_shared<tcp::socket>(std::move(_socket)), "+OK\r\n");
                accept();
            }
        });
    }
    void answer(std::shared_ptr<tcp::socket> _socket, std::string _answer) {
        auto buffer = std::make_shared<std::array<char, 4096>>();
        _socket->async_read_some(
            boost::asio::buffer(*buffer),
            [this, _socket, buffer, _answer](boost::system::error_code _ec, std::size_t) {
                if (!_ec) {
                    boost::asio::write(*_socket, boost::asio::buffer(_answer), _ec);
                    answer(_socket, m_answer);
                }
            });
    }

    std::string m_answer;
    boost::asio::io_context m_io_context;
    tcp::acceptor m_acceptor{m_io_context, {boost::asio::ip::address_v4::loopback(), 0}};
    std::thread m_thread;
};

struct redis_client_test : loop_fixture {
    test_support::redis_server server;

    // The creation handle's results, each as it came.
    std::vector<context_result> created;

    std::unique_ptr<redis::context> connect(int _db = 0, int _port = 0) {
        const std::size_t before = created.size();
        auto handle =
            loop->create_redis_context("127.0.0.1", _port != 0 ? _port : server.port(), _db);
        handle->set_callback(
            [this](context_result _result) { created.push_back(std::move(_result)); });
        // An earlier run may have left the loop out of work, hence stopped.
        loop->get_io_context().restart();
        EXPECT_TRUE(run_until([&] { return created.size() > before; }));
        if (created.size() == before || !created.back()) {
            return nullptr;
        }
        return std::move(*created.back());
    }

    std::vector<redis::reply> replies;
    redis::command::handle run_async(redis::command& _command) {
        auto handle = _command.execute_async();
        handle->set_callback([this](redis::reply _reply) { replies.push_back(std::move(_reply)); });
        return handle;
    }
    bool await_replies(std::size_t _count) {
        // run_until stops after a thousand handlers: a round for each thousand replies.
        for (std::size_t round = 0; round <= _count / 1000 && replies.size() < _count; ++round) {
            run_until([&] { return replies.size() >= _count; });
        }
        return replies.size() >= _count;
    }

    // Runs the loop's ready handlers until the server holds a command that blocks.
    bool until_the_server_blocks_a_client() {
        for (int i = 0; i < 2000; ++i) {
            loop->get_io_context().poll();
            if (server.command({"INFO", "clients"}).find("blocked_clients:1") !=
                std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    // The exception's message, or "" when none was thrown.
    static std::string error_of(const std::function<void()>& _call) {
        try {
            _call();
        } catch (const zel::libs::core::exception& _error) {
            return _error.get_string_error();
        }
        return "";
    }
};

TEST_F(redis_client_test, typed_operations_send_their_words_and_read_back_what_they_stored) {
    const auto context = connect();
    ASSERT_TRUE(context);
    EXPECT_EQ(context->set("k", "v")->execute().to_string(), "OK");
    EXPECT_EQ(context->get("k")->execute().to_string(), "v");
    EXPECT_EQ(context->del("k")->execute().to_long_long(), 1);
    EXPECT_EQ(context->get("k")->execute().get_type(), redis::reply_type::NIL);

    context->add_to_set("s")->add_argument("a").add_argument("b").execute();
    context->add_to_set("s", "c")->execute();
    context->remove_from_set("s", "a")->execute();
    EXPECT_EQ(context->get_set_members("s")->execute().as_array().size(), 2u);

    context->set_to_table("t", "f1", "1")->execute();
    context->set_to_table_multi("t")->add_argument("f2").add_argument("two").execute();
    EXPECT_EQ(context->increment_in_table("t", "f1", "41")->execute().to_int(), 42);
    EXPECT_EQ(context->get_from_table("t", "f2")->execute().to_string(), "two");
    const redis::reply fields =
        context->get_from_table_multi("t")->add_argument("f1").add_argument("none").execute();
    EXPECT_EQ(fields.as_array()[0].to_string(), "42");
    EXPECT_EQ(fields.as_array()[1].get_type(), redis::reply_type::NIL);
    EXPECT_EQ(context->get_table("t")->execute().as_array().size(), 4u);
    EXPECT_EQ(context->delete_from_table("t", "f1")->execute().to_int(), 1);
    EXPECT_EQ(server.command({"HGET", "t", "f2"}), "$3\r\ntwo\r\n");
}

TEST_F(redis_client_test, keys_and_values_of_any_bytes_go_and_come_back_whole_on_both_paths) {
    const auto context = connect();
    ASSERT_TRUE(context);
    const std::vector<std::pair<std::string, std::string>> pairs{
        {std::string("k\0ey", 4), std::string("v\0\xff\r\n", 5)},
        {"empty", ""},
        {"", "empty key"},
        {"large", std::string(10 * 1024 * 1024, 'L')}};
    for (const auto& pair : pairs) {
        context->set(pair.first, pair.second)->execute();
        EXPECT_TRUE(context->get(pair.first)->execute().to_string() == pair.second);
    }
    std::vector<redis::command::ptr> commands;
    std::vector<redis::command::handle> handles;
    for (const auto& pair : pairs) {
        commands.push_back(context->get(pair.first));
        handles.push_back(run_async(*commands.back()));
    }
    ASSERT_TRUE(await_replies(pairs.size()));
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        EXPECT_TRUE(replies[i].to_string() == pairs[i].second) << i;
    }
}

TEST_F(redis_client_test, an_error_reply_throws_when_blocking_and_arrives_typed_when_asynchronous) {
    const auto context = connect();
    ASSERT_TRUE(context);
    context->set("text", "abc")->execute();
    const auto increment = context->increment_in_table("text", "f", "1");
    EXPECT_EQ(
        error_of([&] { increment->execute(); }).rfind("Command: HINCRBY, error: WRONGTYPE", 0), 0u);
    const auto handle = run_async(*increment);
    ASSERT_TRUE(await_replies(1));
    EXPECT_EQ(replies[0].get_type(), redis::reply_type::ERROR);
    // The connection goes on after an error.
    EXPECT_EQ(context->get("text")->execute().to_string(), "abc");
    handle->restart();
    ASSERT_TRUE(await_replies(2));
    EXPECT_EQ(replies[1].get_type(), redis::reply_type::ERROR);
}

TEST_F(redis_client_test, scan_visits_every_matching_key_until_the_callback_stops_it) {
    const auto context = connect();
    ASSERT_TRUE(context);
    int visits = 0;
    EXPECT_EQ(context->scan("*", [&](boost::string_view) { return ++visits, true; }),
              iteration_result::finished);
    EXPECT_EQ(visits, 0);

    for (int i = 0; i < 500; ++i) {
        server.command({"SET", "key:" + std::to_string(i), "v"});
    }
    server.command({"SET", "other", "v"});
    std::vector<std::string> keys;
    EXPECT_EQ(context->scan("key:*",
                            [&](boost::string_view _key) {
                                keys.emplace_back(_key);
                                return true;
                            }),
              iteration_result::finished);
    EXPECT_EQ(keys.size(), 500u);
    visits = 0;
    EXPECT_EQ(context->scan("*", [&](boost::string_view) { return ++visits, false; }),
              iteration_result::interrupted);
    EXPECT_EQ(visits, 1);
}

TEST_F(redis_client_test,
       creation_completes_once_with_none_when_the_server_is_unreachable_or_refuses_the_database) {
    struct failure {
        int db;
        int port;
    };
    const std::vector<failure> failures{{0, test_support::free_tcp_port()}, {100000, 0}, {-1, 0}};
    for (const auto& each : failures) {
        EXPECT_FALSE(connect(each.db, each.port));
        run_out();
    }
    EXPECT_EQ(created.size(), failures.size());
    const auto selected = connect(3);
    ASSERT_TRUE(selected);
    selected->set("in-three", "x")->execute();
    EXPECT_EQ(server.command({"GET", "in-three"}), "$-1\r\n");
}

TEST_F(redis_client_test,
       a_connection_the_server_drops_ends_every_pending_command_once_with_an_error_never_nil) {
    const std::vector<std::function<void(test_support::redis_server&)>> drops{
        [](test_support::redis_server& _server) { _server.kill_clients(); },
        [](test_support::redis_server& _server) { _server.restart(); }};
    constexpr std::size_t pending_gets = 5000;
    for (const auto& drop : drops) {
        replies.clear();
        auto context = connect();
        ASSERT_TRUE(context);
        // The server reads nothing more from a client it blocks: every GET stays pending.
        const auto blocking = context->create_command({"BLPOP", "never", "0"});
        std::vector<redis::command::handle> handles{run_async(*blocking)};
        ASSERT_TRUE(until_the_server_blocks_a_client());
        const auto get = context->get("k");
        for (std::size_t i = 0; i < pending_gets; ++i) {
            handles.push_back(run_async(*get));
        }
        drop(server);
        ASSERT_TRUE(await_replies(pending_gets + 1));
        run_out();
        EXPECT_EQ(replies.size(), pending_gets + 1);
        for (const auto& each : replies) {
            ASSERT_EQ(each.get_type(), redis::reply_type::ERROR);
            ASSERT_EQ(each.to_string().rfind("connection lost: ", 0), 0u) << each.to_string();
        }
        EXPECT_EQ(error_of([&] { get->execute_async(); }),
                  "Command: GET, error: " + replies.back().to_string());
        const std::string broken = error_of([&] { get->execute(); });
        EXPECT_EQ(broken.rfind("Command: GET, error: ", 0), 0u) << broken;
        EXPECT_EQ(error_of([&] { get->execute(); }), broken);
    }
}

TEST_F(redis_client_test, commands_the_client_does_not_serve_are_refused_on_both_paths_unsent) {
    const auto context = connect();
    ASSERT_TRUE(context);
    const std::string not_served =
        ", error: not served: publish/subscribe, MONITOR and replication need a connection of "
        "their own";
    const std::string changes_one =
        ", error: not served: it would change one of the context's two connections alone";
    const std::vector<std::pair<redis::context::args, std::string>> refused{
        {{}, "Command: , error: empty command"},
        {{"SUBSCRIBE", "ch"}, "Command: SUBSCRIBE" + not_served},
        {{"psubscribe", "p*"}, "Command: psubscribe" + not_served},
        {{"SSubscribe", "s"}, "Command: SSubscribe" + not_served},
        {{"monitor"}, "Command: monitor" + not_served},
        {{"SYNC"}, "Command: SYNC" + not_served},
        {{"psync", "?", "-1"}, "Command: psync" + not_served},
        {{"REPLCONF", "ACK", "0"}, "Command: REPLCONF" + not_served},
        {{"SELECT", "1"}, "Command: SELECT" + changes_one},
        {{"hello", "3"}, "Command: hello" + changes_one},
        {{"CLIENT", "reply", "off"}, "Command: CLIENT" + changes_one},
        {{"QUIT"}, "Command: QUIT" + changes_one},
        {{"reset"}, "Command: reset" + changes_one}};
    for (const auto& [words, message] : refused) {
        const auto command = context->create_command(words);
        EXPECT_EQ(error_of([&] { command->execute(); }), message);
        EXPECT_EQ(error_of([&] { command->execute_async(); }), message);
    }
    // Nothing reached the server: both connections answer their next command with its reply,
    // and write to the context's database.
    EXPECT_EQ(context->set("k", "v")->execute().to_string(), "OK");
    const auto set = context->set("a", "w");
    const auto handle = run_async(*set);
    ASSERT_TRUE(await_replies(1));
    EXPECT_EQ(replies[0].to_string(), "OK");
    EXPECT_EQ(server.command({"MGET", "k", "a"}), "*2\r\n$1\r\nv\r\n$1\r\nw\r\n");

    const std::string odd_name =
        error_of([&] { context->create_command({std::string("GE\0T\r\n", 6)})->execute(); });
    EXPECT_EQ(odd_name.rfind("Command: GE\\x00T\\x0d\\x0a, error: ", 0), 0u) << odd_name;
    EXPECT_EQ(odd_name.find_first_of(std::string("\0\r\n", 3)), std::string::npos);
}

TEST_F(redis_client_test, a_server_that_stops_answering_ends_every_wait_at_its_time_out) {
    using std::chrono::milliseconds;
    using clock = std::chrono::steady_clock;
    auto context = connect();
    ASSERT_TRUE(context);
    EXPECT_NE(error_of([&] { context->set_reply_timeout(milliseconds(0)); }), "");
    context->set_reply_timeout(milliseconds(300));
    server.send_signal(SIGSTOP);
    const auto get = context->get("k");
    auto start = clock::now();
    EXPECT_EQ(error_of([&] { get->execute(); }), "Command: GET, error: timed out");
    EXPECT_GE(clock::now() - start, milliseconds(300));
    EXPECT_EQ(error_of([&] { get->execute(); }),
              "Command: GET, error: connection closed after a time-out");

    // A command that blocks by design waits its own second on top.
    const auto blocking = context->create_command({"BLPOP", "never", "1"});
    start = clock::now();
    // One queued after it with a deadline far later is dropped with the connection, even when
    // a loaded machine runs the loop late: its own deadline is beyond any such delay.
    const auto longer = context->create_command({"BLPOP", "never", "30"});
    const std::vector<redis::command::handle> handles{run_async(*blocking), run_async(*get),
                                                      run_async(*longer)};
    ASSERT_TRUE(await_replies(3));
    const auto waited = clock::now() - start;
    EXPECT_GE(waited, milliseconds(1300));
    EXPECT_LT(waited, std::chrono::seconds(15));
    const std::vector<std::string> why{
        "timed out", "timed out", "dropped with the connection after an older command timed out"};
    for (std::size_t i = 0; i < why.size(); ++i) {
        EXPECT_EQ(replies[i].get_type(), redis::reply_type::ERROR);
        EXPECT_EQ(replies[i].to_string(), why[i]);
    }
    server.send_signal(SIGCONT);

    // Creation against peers that never answer: one whose accept queue is full, so that the
    // connect itself hangs, and one that accepts and never reads.
    boost::asio::ip::tcp::acceptor full(loop->get_io_context(),
                                        {boost::asio::ip::address_v4::loopback(), 0});
    full.listen(0);
    boost::asio::ip::tcp::socket filler(loop->get_io_context());
    filler.connect(full.local_endpoint());
    boost::asio::ip::tcp::acceptor silent(loop->get_io_context(),
                                          {boost::asio::ip::address_v4::loopback(), 0});
    for (const auto& [peer, longest] :
         {std::make_pair(&full, redis::context::connect_timeout),
          std::make_pair(
              &silent, redis::context::connect_timeout + redis::context::default_reply_timeout)}) {
        start = clock::now();
        EXPECT_FALSE(connect(0, peer->local_endpoint().port()));
        EXPECT_LT(clock::now() - start, longest + milliseconds(1500));
        run_out();
    }
}

TEST_F(redis_client_test, a_server_that_lies_closes_the_connection_without_harm) {
    // Garbage, a reply no command asked for, on which hiredis alone aborts the process, and
    // replies that announce more than the bound, in an array's elements or a string's bytes.
    const std::string lost = "connection lost: ";
    const std::string closed = "connection closed after a reply too large";
    const std::vector<std::array<std::string, 4>> lies{
        {"!garbage\r\n", "Protocol error, got \"!\" as reply type byte", lost, ""},
        {"+OK\r\n+UNASKED\r\n", "the server sent a reply no command asked for", lost, ""},
        {"*1000000\r\n", "reply too large", "", closed},
        {"*2\r\n:1\r\n*2000000000\r\n", "reply too large", "", closed},
        {"$20000000\r\n", "reply too large", "", closed}};
    for (const auto& [lie, why, async_prefix, later] : lies) {
        replies.clear();
        lying_server liar(lie);
        const auto context = connect(0, liar.port());
        ASSERT_TRUE(context);
        const auto get = context->get("k");
        const auto first = run_async(*get);
        ASSERT_TRUE(await_replies(1));
        std::string blocking = error_of([&] { get->execute(); });
        if (blocking.empty()) {
            // The lie came after the reply: the next command meets it.
            EXPECT_EQ(replies[0].to_string(), "OK");
            blocking = error_of([&] { get->execute(); });
        } else {
            EXPECT_EQ(replies[0].to_string(), async_prefix + why);
        }
        EXPECT_EQ(blocking, "Command: GET, error: " + why);
        EXPECT_EQ(error_of([&] { get->execute_async(); }),
                  "Command: GET, error: " + (later.empty() ? async_prefix + why : later));
    }
}

TEST_F(redis_client_test, a_reply_past_the_memory_bound_is_refused_and_those_behind_it_say_why) {
    const auto context = connect();
    ASSERT_TRUE(context);
    EXPECT_NE(error_of([&] { context->set_max_reply_memory(0); }), "");
    // A string costs about twice its length, an element 72 bytes.
    context->set_max_reply_memory(std::size_t(1) << 20);
    server.command({"SET", "big", std::string(std::size_t(512) << 10, 'b')});
    server.command({"SET", "small", std::string(std::size_t(400) << 10, 's')});
    std::vector<std::string> push{"RPUSH", "list"};
    push.resize(push.size() + 15000, "e");
    server.command(push);

    const auto big = context->get("big");
    const auto small = context->get("small");
    const std::vector<redis::command::handle> handles{run_async(*small), run_async(*big),
                                                      run_async(*small), run_async(*small)};
    ASSERT_TRUE(await_replies(4));
    EXPECT_EQ(replies[0].to_string().size(), std::size_t(400) << 10);
    EXPECT_EQ(replies[1].to_string(), "reply too large");
    for (std::size_t i = 2; i < replies.size(); ++i) {
        EXPECT_EQ(replies[i].get_type(), redis::reply_type::ERROR);
        EXPECT_EQ(replies[i].to_string(),
                  "dropped with the connection after an older command's reply was too large");
    }
    const std::string closed = "Command: GET, error: connection closed after a reply too large";
    EXPECT_EQ(error_of([&] { small->execute_async(); }), closed);

    const auto list = context->create_command({"LRANGE", "list", "0", "-1"});
    EXPECT_EQ(small->execute().to_string().size(), std::size_t(400) << 10);
    EXPECT_EQ(error_of([&] { list->execute(); }), "Command: LRANGE, error: reply too large");
    EXPECT_EQ(error_of([&] { small->execute(); }), closed);
}

TEST_F(redis_client_test, dropping_a_context_or_its_creation_midway_leaves_nothing_behind) {
    auto handle = loop->create_redis_context("127.0.0.1", server.port(), 0);
    handle.reset();
    run_out();

    auto context = connect();
    ASSERT_TRUE(context);
    const auto blocking = context->create_command({"BLPOP", "never", "0"});
    const auto pending = run_async(*blocking);
    context.reset();
    ASSERT_TRUE(await_replies(1));
    EXPECT_EQ(replies[0].get_type(), redis::reply_type::ERROR);
    EXPECT_EQ(replies[0].to_string(), "connection closed");
    run_out();
}

}  // namespace
