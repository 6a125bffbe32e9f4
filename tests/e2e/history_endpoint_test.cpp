// The relay's history read through vandrel-tail -H, both real binaries.
#include "relay_process.h"

#include <test_support/child_process.h>
#include <test_support/endpoints.h>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

using test_support::child_process;

struct history_test : ::testing::Test {
    const std::string input = test_support::free_tcp_endpoint();
    const std::string history = test_support::free_tcp_endpoint();
    zmq::context_t context;
    zmq::socket_t producer{context, zmq::socket_type::push};
    std::unique_ptr<e2e::config_file> config;
    std::unique_ptr<child_process> relay;

    void start_relay(int _history_bytes = 1 << 20) {
        if (!config) {
            config = std::make_unique<e2e::config_file>(
                R"({"system": {"input_address": ")" + input + R"(", "output_address": ")" +
                test_support::free_tcp_endpoint() + R"(", "history_address": ")" + history +
                R"(", "history_bytes": )" + std::to_string(_history_bytes) + "}}");
            producer.set(zmq::sockopt::linger, 0);
            producer.connect(input);
        }
        relay = std::make_unique<child_process>(VANDREL_BINARY,
                                                std::vector<std::string>{"-c", config->path()});
    }

    void send(const std::string& _prefix, int _from, int _to) {
        for (int i = _from; i <= _to; ++i) {
            ASSERT_TRUE(producer.send(zmq::buffer(_prefix + std::to_string(i))));
        }
    }

    std::unique_ptr<child_process> start_tail(std::vector<std::string> _args) {
        _args.insert(_args.begin(), {"-H", history});
        return std::make_unique<child_process>(VANDREL_TAIL_BINARY, _args,
                                               std::vector<std::string>{},
                                               child_process::output::captured);
    }

    // A reader of its own, from a loopback address of its own: each is a peer of the relay.
    zmq::socket_t reader_from(int _address) {
        zmq::socket_t reader(context, zmq::socket_type::dealer);
        reader.set(zmq::sockopt::linger, 0);
        reader.set(zmq::sockopt::rcvtimeo, 10000);
        reader.connect("tcp://127.0.0." + std::to_string(_address) + ":0;" + history.substr(6));
        return reader;
    }

    // Until the history holds _frame as its newest record.
    bool holds(const std::string& _frame) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (start_tail({"-n", "1", "--no-follow"})->wait(10s).standard_output ==
                _frame + "\n") {
                return true;
            }
        }
        return false;
    }
};

// Sends _line; the first word of the first answer that is not a record or "live", "" when none
// comes. With _quiet, what the reader was sent before is dropped first.
std::string ask(zmq::socket_t& _reader, const std::string& _line, bool _quiet = false) {
    zmq::message_t frame;
    while (_quiet && _reader.recv(frame, zmq::recv_flags::dontwait)) {
    }
    _reader.send(zmq::buffer(_line));
    while (_reader.recv(frame)) {
        const std::string word = frame.to_string().substr(0, frame.to_string().find(' '));
        while (frame.more() && _reader.recv(frame)) {
        }
        if (word != "record" && word != "live") {
            return word;
        }
    }
    return "";
}

// The records a tail's "lost" lines add up to.
std::uint64_t told_lost(const std::string& _errors) {
    std::uint64_t lost = 0;
    const std::regex gap("vandrel-tail: lost ([0-9]+) records \\([a-z ]+\\)\n");
    for (std::sregex_iterator it(_errors.begin(), _errors.end(), gap), end; it != end; ++it) {
        lost += std::stoull((*it)[1]);
    }
    return lost;
}

std::string lines(const std::string& _prefix, int _from, int _to) {
    std::string text;
    for (int i = _from; i <= _to; ++i) {
        text += _prefix + std::to_string(i) + "\n";
    }
    return text;
}

TEST_F(history_test, prints_the_last_n_records_of_a_prefix_among_others_and_exits) {
    start_relay();
    for (int i = 1; i <= 5; ++i) {
        send("a ", i, i);
        send("b ", i, i);
    }
    ASSERT_TRUE(holds("b 5"));
    const auto result = start_tail({"-n", "3", "--no-follow", "a "})->wait(10s);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.standard_output, lines("a ", 3, 5));
    EXPECT_EQ(result.standard_error, "");
}

TEST_F(history_test, follows_on_from_the_history_with_nothing_lost_or_repeated) {
    start_relay();
    send("r ", 1, 5);
    ASSERT_TRUE(holds("r 5"));
    const auto tail = start_tail({"-n", "3"});
    ASSERT_TRUE(tail->wait_for_stdout("r 5\n", 10s));
    send("r ", 6, 300);
    ASSERT_TRUE(tail->wait_for_stdout("r 300\n", 10s)) << tail->standard_output();
    EXPECT_EQ(tail->standard_output(), lines("r ", 3, 300));
}

TEST_F(history_test, holds_only_the_newest_records_contiguous_within_its_bound) {
    const int bound = 4096;
    start_relay(bound);
    send("record number ", 1, 1000);
    ASSERT_TRUE(holds("record number 1000"));
    const auto held = start_tail({"-n", "1000", "--no-follow"})->wait(10s).standard_output;
    std::istringstream reading(held);
    std::size_t bytes = 0;
    int expected = 0;
    for (std::string line; std::getline(reading, line); ++expected) {
        const int number = std::stoi(line.substr(line.rfind(' ')));
        expected = expected == 0 ? number : expected;
        ASSERT_EQ(number, expected) << held;
        bytes += line.size() + 8;
    }
    EXPECT_EQ(expected, 1001);
    EXPECT_LE(bytes, bound);
    EXPECT_GT(bytes, bound - 2 * (8 + 18));
}

// As a service's logger does, the producer queues what it logs while the relay is away.
TEST_F(history_test, a_tail_gets_what_was_logged_while_the_relay_restarted_once) {
    start_relay();
    const auto tail = start_tail({"-n", "1000"});
    send("a ", 1, 50);
    ASSERT_TRUE(tail->wait_for_stdout("a 50\n", 10s)) << tail->standard_error();
    relay->send_signal(SIGTERM);
    ASSERT_EQ(relay->wait(10s).exit_status, 0);
    send("b ", 1, 50);
    start_relay();
    send("c ", 1, 50);
    ASSERT_TRUE(tail->wait_for_stdout("c 50\n", 20s)) << tail->standard_output();
    EXPECT_EQ(tail->standard_output(),
              lines("a ", 1, 50) + lines("b ", 1, 50) + lines("c ", 1, 50));
    EXPECT_EQ(tail->standard_error(), "");
}

// A producer that never pauses, as a busy service's logger: each stop takes in what was sent
// before it, and a tail following through all the starts prints every record a relay took, or
// says it lost it; frames sent while no relay listens wait in the producer's queue.
TEST_F(history_test, restarts_under_load_leave_no_silent_gap) {
    start_relay();
    const auto tail = start_tail({"-n", "1000000"});
    std::atomic<bool> producing{true};
    std::thread load([&] {
        producer.set(zmq::sockopt::sndtimeo, 100);
        for (int i = 1; producing && i < 1000000;) {
            i += producer.send(zmq::buffer("f " + std::to_string(i))) ? 1 : 0;
            if (i % 4 == 0) {
                std::this_thread::sleep_for(1ms);
            }
        }
    });
    std::uint64_t relayed = 0;
    const std::regex totals("totals: ([0-9]+) frames relayed");
    const auto stop_relay = [&] {
        relay->send_signal(SIGTERM);
        const auto log = relay->wait(15s).standard_error;
        std::smatch found;
        ASSERT_TRUE(std::regex_search(log, found, totals)) << log;
        relayed += std::stoull(found[1]);
    };
    // The tail's output is read meanwhile: a full pipe would hold it.
    const auto read_tail_for = [&](std::chrono::milliseconds _time) {
        tail->wait_for_stdout("(never printed)", _time);
    };
    for (int restart = 0; restart < 10; ++restart) {
        read_tail_for(300ms);
        stop_relay();
        start_relay();
    }
    read_tail_for(300ms);
    producing = false;
    load.join();
    stop_relay();
    tail->send_signal(SIGTERM);
    const auto result = tail->wait(10s);
    const auto lost = told_lost(result.standard_error);
    std::istringstream printed(result.standard_output);
    std::uint64_t records = 0;
    int previous = 0;
    for (std::string line; std::getline(printed, line); ++records) {
        const int number = std::stoi(line.substr(2));
        ASSERT_GT(number, previous) << line;
        previous = number;
    }
    EXPECT_GT(records, 0u);
    EXPECT_EQ(records + lost, relayed) << result.standard_error;
    EXPECT_EQ(result.standard_error.find("may be lost"), std::string::npos)
        << result.standard_error;
}

TEST_F(history_test, a_slow_reader_is_told_what_it_lost_and_nothing_more) {
    start_relay(16 * 1024);
    const auto tail = start_tail({"-n", "10"});
    send("first", 1, 1);
    ASSERT_TRUE(tail->wait_for_stdout("first1\n", 10s));
    // Nobody reads the tail's output meanwhile: it stops at a full pipe.
    const int sent = 8000;
    send(std::string(500, 'x') + " ", 1, sent);
    send("end", 1, 1);
    ASSERT_TRUE(tail->wait_for_stdout("end1\n", 120s)) << tail->standard_error();
    const auto& errors = tail->standard_error();
    const auto lost = told_lost(errors);
    EXPECT_EQ(errors.find("relay"), std::string::npos) << errors;
    const auto& printed = tail->standard_output();
    const auto records = std::count(printed.begin(), printed.end(), '\n') - 2;
    EXPECT_GT(lost, 0u) << errors;
    EXPECT_EQ(records + lost, sent) << errors;
}

// The first reader stays silent throughout, so that it is the one let go if a slot is not freed.
TEST_F(history_test, slots_are_freed_by_bye_and_disconnect_and_handed_on_when_all_are_taken) {
    start_relay();
    std::vector<zmq::socket_t> held;
    for (int i = 0; i < 63; ++i) {
        held.push_back(reader_from(2 + i));
        ASSERT_EQ(ask(held.back(), "last 1"), "start") << i;
    }
    EXPECT_EQ(start_tail({"-n", "1", "--no-follow"})->wait(10s).exit_status, 0);
    {
        auto gone = reader_from(100);
        ASSERT_EQ(ask(gone, "last 1"), "start");
    }
    // Pinging as tails do, until the relay has found the closed connection: it looks once a
    // second for readers silent 3 s, with room for a loaded machine. A reader it finds silent
    // gets an unasked pong, which each ping here drops before asking.
    for (int second = 0; second < 8; ++second) {
        for (std::size_t i = 1; i < held.size(); ++i) {
            ASSERT_EQ(ask(held[i], "ping", true), "pong") << i;
        }
        std::this_thread::sleep_for(1s);
    }
    auto newcomer = reader_from(101);
    ASSERT_EQ(ask(newcomer, "last 1"), "start");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(ask(held[0], "ping", true), "pong");

    // All 64 taken: the next takes the slot of the longest silent.
    auto one_more = reader_from(102);
    ASSERT_EQ(ask(one_more, "last 1"), "start");
    held.push_back(std::move(newcomer));
    EXPECT_EQ(std::count_if(
                  held.begin(), held.end(),
                  [](zmq::socket_t& _reader) { return ask(_reader, "ping", true) == "unknown"; }),
              1);

    // One host: its ninth reader takes the slot of its first.
    std::vector<zmq::socket_t> same_host;
    for (int i = 0; i < 9; ++i) {
        same_host.push_back(reader_from(200));
        ASSERT_EQ(ask(same_host.back(), "last 1"), "start") << i;
    }
    EXPECT_EQ(ask(same_host[0], "ping", true), "unknown");
    EXPECT_EQ(ask(same_host[8], "ping", true), "pong");
}

TEST_F(history_test, stalled_readers_of_large_records_hold_within_a_window_each) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's allocator keeps what is freed";
#endif
    start_relay(16 << 20);
    const std::string large(60000, 'l');
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(producer.send(zmq::buffer(large)));
    }
    send("end", 1, 1);
    ASSERT_TRUE(holds("end1"));
    const double before = e2e::resident_mib(relay->pid());
    std::vector<zmq::socket_t> stalled;
    for (int i = 0; i < 64; ++i) {
        stalled.push_back(reader_from(2 + i));
        stalled.back().set(zmq::sockopt::rcvhwm, 1);
        stalled.back().set(zmq::sockopt::rcvbuf, 4096);
        stalled.back().send(zmq::str_buffer("last 1000000"));
    }
    double peak = before;
    for (int sample = 0; sample < 30; ++sample) {
        std::this_thread::sleep_for(100ms);
        peak = std::max(peak, e2e::resident_mib(relay->pid()));
    }
    // Without a window each would be sent the whole 16 MiB history.
    EXPECT_LT(peak - before, 96) << before << " MiB before the readers";
    zmq::message_t first;
    ASSERT_TRUE(stalled[63].recv(first));
    EXPECT_EQ(first.to_string().substr(0, 6), "start ");
}

}  // namespace
