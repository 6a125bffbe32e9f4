// The relay with CURVE keys, made by the binary itself, against clients with and without keys:
// only the keys of its clients directory get frames in or out, SIGHUP makes a change of the
// directory count, failing closed, and neither a storm of it nor a stop right after it does harm.
#include "relay_process.h"

#include <core/curve/client_keys.h>
#include <core/curve/key_pair.h>

#include <test_support/child_process.h>
#include <test_support/endpoints.h>
#include <test_support/scratch_directory.h>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
namespace curve = zel::libs::core::curve;

namespace {

struct curve_test : ::testing::Test {
    test_support::scratch_directory directory{"vandrel-curve-"};
    const std::string clients = directory.path("clients");
    std::unique_ptr<e2e::relay_process> relay;
    zmq::context_t context;

    void SetUp() override {
        const auto generated = e2e::run_relay({"--generate-keys", directory.path("relay")});
        ASSERT_EQ(generated.exit_status, 0) << generated.standard_error;
        std::filesystem::create_directory(clients);
    }

    void launch(const std::string& _secret_key_file, const std::string& _members = {}) {
        relay = std::make_unique<e2e::relay_process>(
            "", "", std::vector<std::string>{},
            R"("curve": {"secret_key_file": ")" + _secret_key_file +
                R"(", "clients_directory": ")" + clients + R"("})" + _members);
    }

    void start_relay(const std::string& _members = {}) {
        launch(directory.path("relay.key"), _members);
        ASSERT_TRUE(relay->process().wait_for_stderr("output tcp", 30s))
            << relay->process().standard_error();
    }

    // Keys of clients that never connect: what makes a reading of the directory take its time.
    void list_strangers(int _count) {
        for (int i = 0; i < _count; ++i) {
            std::ofstream(clients + "/stranger" + std::to_string(i) + ".pub")
                << curve::key_pair::generate().public_key << "\n";
        }
    }

    // A client's pair; listed in the clients directory when _allowed.
    curve::client_keys client(const std::string& _name, bool _allowed) {
        curve::key_pair::generate().write(directory.path(_name));
        if (_allowed) {
            allow(_name);
        }
        return curve::client_keys::read(directory.path("relay.pub"), directory.path(_name));
    }

    void allow(const std::string& _name) {
        std::filesystem::copy_file(directory.path(_name + ".pub"), clients + "/" + _name + ".pub");
    }

    void reload(const std::string& _logged) {
        relay->process().send_signal(SIGHUP);
        ASSERT_TRUE(relay->process().wait_for_stderr("Reloaded " + _logged, 10s))
            << relay->process().standard_error();
    }

    zmq::socket_t connect(zmq::socket_type _type, const curve::client_keys* _keys) {
        zmq::socket_t socket(context, _type);
        socket.set(zmq::sockopt::linger, 0);
        socket.set(zmq::sockopt::rcvtimeo, 200);
        if (_keys != nullptr) {
            _keys->apply(socket.handle());
        }
        if (_type == zmq::socket_type::sub) {
            socket.set(zmq::sockopt::subscribe, "");
        }
        socket.connect(_type == zmq::socket_type::sub ? relay->output() : relay->input());
        return socket;
    }

    // Pushes _frame until _subscriber gets it, then reads up to and including "<_frame> end":
    // returns the frames between, or {"timeout"}.
    std::vector<std::string> relayed(zmq::socket_t& _producer, zmq::socket_t& _subscriber,
                                     const std::string& _frame) {
        zmq::message_t message;
        bool through = false;
        for (int attempt = 0; attempt < 100 && !through; ++attempt) {
            (void)_producer.send(zmq::buffer(_frame), zmq::send_flags::dontwait);
            through = _subscriber.recv(message).has_value();
        }
        (void)_producer.send(zmq::buffer(_frame + " end"), zmq::send_flags::none);
        std::vector<std::string> between;
        while (through && _subscriber.recv(message) && message.to_string() != _frame + " end") {
            if (message.to_string() != _frame) {
                between.push_back(message.to_string());
            }
        }
        return through ? between : std::vector<std::string>{"timeout"};
    }
};

TEST_F(curve_test, only_listed_keys_send_or_receive) {
    const auto producer_keys = client("producer", true);
    const auto subscriber_keys = client("subscriber", true);
    const auto stranger_keys = client("stranger", false);
    start_relay();
    auto subscriber = connect(zmq::socket_type::sub, &subscriber_keys);
    auto plain_subscriber = connect(zmq::socket_type::sub, nullptr);
    auto stranger_subscriber = connect(zmq::socket_type::sub, &stranger_keys);
    auto producer = connect(zmq::socket_type::push, &producer_keys);
    auto plain_producer = connect(zmq::socket_type::push, nullptr);
    auto stranger_producer = connect(zmq::socket_type::push, &stranger_keys);
    (void)plain_producer.send(zmq::str_buffer("plain"), zmq::send_flags::dontwait);
    (void)stranger_producer.send(zmq::str_buffer("stranger"), zmq::send_flags::dontwait);

    EXPECT_EQ(relayed(producer, subscriber, "allowed"), std::vector<std::string>{});
    EXPECT_TRUE(relay->process().wait_for_stderr("Refused", 10s));
    zmq::message_t frame;
    EXPECT_FALSE(plain_subscriber.recv(frame));
    EXPECT_FALSE(stranger_subscriber.recv(frame));
}

TEST_F(curve_test, sighup_admits_a_key_added_and_shuts_out_a_key_removed) {
    const auto producer_keys = client("producer", true);
    const auto subscriber_keys = client("subscriber", true);
    const auto late_keys = client("late", false);
    start_relay();
    auto subscriber = connect(zmq::socket_type::sub, &subscriber_keys);

    allow("late");
    reload("3 client keys in");
    auto late = connect(zmq::socket_type::push, &late_keys);
    ASSERT_EQ(relayed(late, subscriber, "late"), std::vector<std::string>{});

    std::remove((clients + "/producer.pub").c_str());
    reload("2 client keys in");
    auto removed = connect(zmq::socket_type::push, &producer_keys);
    (void)removed.send(zmq::str_buffer("removed"), zmq::send_flags::dontwait);
    EXPECT_EQ(relayed(late, subscriber, "still"), std::vector<std::string>{});
    // The first peer this relay refuses.
    EXPECT_TRUE(relay->process().wait_for_stderr("Refused 127.0.0.1: its key", 10s));
}

TEST_F(curve_test, bad_key_files_are_left_out_and_a_directory_gone_admits_nobody) {
    const auto subscriber_keys = client("subscriber", true);
    const auto kept_keys = client("kept", true);
    std::vector<curve::client_keys> spoilt;
    for (const auto* name : {"emptied", "unreadable", "directory"}) {
        spoilt.push_back(client(name, true));
    }
    std::ofstream(clients + "/bad.pub");
    std::filesystem::permissions(directory.path("relay.key"), std::filesystem::perms::group_read,
                                 std::filesystem::perm_options::add);
    const int port = test_support::free_tcp_port();
    start_relay(R"(, "metrics_address": "127.0.0.1:)" + std::to_string(port) + "\"");
    EXPECT_TRUE(relay->process().wait_for_stderr(
        "Key file " + clients + "/bad.pub: holds no key: left out", 10s));
    EXPECT_TRUE(relay->process().wait_for_stderr(
        "Key file " + directory.path("relay.key") + " is readable by group or others (mode 0640)",
        10s));
    auto subscriber = connect(zmq::socket_type::sub, &subscriber_keys);

    std::ofstream(clients + "/emptied.pub", std::ios::trunc);
    const auto unreadable = clients + "/unreadable.pub";
    // Unreadable even by root, which reads any file: it would be waited on for ever.
    std::filesystem::remove(unreadable);
    ASSERT_EQ(mkfifo(unreadable.c_str(), 0644), 0);
    std::filesystem::remove(clients + "/directory.pub");
    std::filesystem::create_directory(clients + "/directory.pub");
    reload("2 client keys in " + clients + ", 4 key files left out");
    std::vector<zmq::socket_t> shut_out;
    for (const auto& keys : spoilt) {
        shut_out.push_back(connect(zmq::socket_type::push, &keys));
        (void)shut_out.back().send(zmq::str_buffer("spoilt"), zmq::send_flags::dontwait);
    }
    auto kept = connect(zmq::socket_type::push, &kept_keys);
    EXPECT_EQ(relayed(kept, subscriber, "kept"), std::vector<std::string>{});
    EXPECT_TRUE(
        e2e::scrape_until(port, "unknown_key\"\\} 3\n(.*\n)*vandrel_reload_failures_total 1\n"));

    std::filesystem::remove_all(clients);
    reload(
        "no client keys, no client is admitted until a reload lists the directory: Cannot "
        "read the clients directory " +
        clients);
    auto kept_again = connect(zmq::socket_type::push, &kept_keys);
    (void)kept_again.send(zmq::str_buffer("kept again"), zmq::send_flags::dontwait);
    EXPECT_TRUE(
        e2e::scrape_until(port, "unknown_key\"\\} 4\n(.*\n)*vandrel_reload_failures_total 2\n"));
}

TEST_F(curve_test, a_public_key_given_as_the_secret_one_is_named) {
    launch(directory.path("relay.pub"));
    const auto result = relay->process().wait(20s);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.standard_error.find("Key file " + directory.path("relay.pub") + ": a public"),
              std::string::npos)
        << result.standard_error;
}

TEST_F(curve_test, a_stop_right_after_hangups_never_crashes) {
    list_strangers(300);
    for (int run = 0; run < 20; ++run) {
        start_relay();
        for (int hangup = 0; hangup < 20; ++hangup) {
            relay->process().send_signal(SIGHUP);
        }
        relay->process().send_signal(SIGTERM);
        const auto result = relay->process().wait(20s);
        ASSERT_TRUE(result.exited) << "run " << run << ": signal " << result.term_signal;
        ASSERT_EQ(result.exit_status, 0) << result.standard_error;
    }
}

TEST_F(curve_test, a_hangup_storm_costs_few_reloads_and_at_most_one_after_the_last) {
    list_strangers(2000);
    start_relay();
    for (int hangup = 0; hangup < 200; ++hangup) {
        relay->process().send_signal(SIGHUP);
        std::this_thread::sleep_for(1ms);
    }
    const auto& log = relay->process().standard_error();
    const auto reloads = [&](std::size_t _from) {
        std::size_t count = 0;
        for (auto at = log.find("Reloaded", _from); at != std::string::npos;
             at = log.find("Reloaded", at + 1)) {
            ++count;
        }
        return count;
    };
    for (int read = 0; read < 300 && reloads(log.rfind("SIGHUP")) == 0; ++read) {
        relay->process().wait_for_stderr("\x01", 100ms);
    }
    // Time for a reading more than the one that waits, were there one.
    relay->process().wait_for_stderr("\x01", 2s);
    EXPECT_GE(reloads(log.rfind("SIGHUP")), 1U);
    EXPECT_LE(reloads(log.rfind("SIGHUP")), 2U);
    EXPECT_LE(reloads(0), 50U);
}

TEST_F(curve_test, the_logger_and_a_stream_with_keys_carry_records) {
    client("service", true);
    client("tail", true);
    start_relay();
    const auto server_key = directory.path("relay.pub");
    test_support::child_process service(
        HEARTBEAT_SERVICE_BINARY, {"-a", relay->input(), "-i", "50", "--server-key", server_key,
                                   "--key", directory.path("service")});
    test_support::child_process tail(
        VANDREL_TAIL_BINARY,
        {"-a", relay->output(), "-m", "1", "--server-key", server_key, "--key",
         directory.path("tail"), "&heartbeat_service:heartbeat"},
        {}, test_support::child_process::output::captured);
    EXPECT_TRUE(tail.wait_for_stdout(" heartbeat ", 20s)) << tail.standard_error();
}

TEST_F(curve_test, a_missing_key_file_is_named_and_nothing_connects) {
    const auto missing = directory.path("missing.pub");
    test_support::child_process tail(VANDREL_TAIL_BINARY,
                                     {"--server-key", missing, "--key", directory.path("relay")});
    const auto result = tail.wait(20s);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.standard_error.find("Key file " + missing), std::string::npos)
        << result.standard_error;
}

}  // namespace
