// vandrel-tail against the real relay: what it prints of the relay's output, and how it ends.
#include "relay_process.h"

#include <test_support/child_process.h>
#include <test_support/endpoints.h>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <signal.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

namespace {

using test_support::child_process;

const std::string usage_line =
    "usage: vandrel-tail [-a ENDPOINT | -H ENDPOINT [-n N] [--no-follow]] [-m COUNT] [-v] "
    "[--server-key FILE.pub --key PREFIX] "
    "[PREFIX...]\n";

test_support::child_result run_tail(const std::vector<std::string>& _args) {
    child_process tail(VANDREL_TAIL_BINARY, _args, {}, child_process::output::captured);
    return tail.wait(20s);
}

struct tail_test : ::testing::Test {
    zmq::context_t context;
    e2e::relay_process relay;
    zmq::socket_t producer{context, zmq::socket_type::push};

    void SetUp() override {
        producer.set(zmq::sockopt::linger, 0);
        producer.set(zmq::sockopt::sndtimeo, 10000);
        producer.connect(relay.input());
    }

    std::unique_ptr<child_process> start_tail(std::vector<std::string> _args) {
        _args.insert(_args.begin(), {"-a", relay.output()});
        return std::make_unique<child_process>(VANDREL_TAIL_BINARY, _args,
                                               std::vector<std::string>{},
                                               child_process::output::captured);
    }

    void send(const std::string& _frame) {
        ASSERT_TRUE(producer.send(zmq::buffer(_frame), zmq::send_flags::none));
    }

    // The relay drops frames until the subscription of vandrel-tail reaches it: pushes _probe
    // until it is printed, then a last "<_probe> end" that no probe can follow, as they travel
    // in order. Returns where the output after that marker line begins, or npos.
    std::size_t wait_until_tailing(child_process& _tail, const std::string& _probe) {
        bool tailing = false;
        for (int attempt = 0; attempt < 200 && !tailing; ++attempt) {
            send(_probe);
            tailing = _tail.wait_for_stdout(_probe + "\n", 50ms);
        }
        const std::string marker = _probe + " end\n";
        if (!tailing) {
            return std::string::npos;
        }
        send(_probe + " end");
        if (!_tail.wait_for_stdout(marker, 10s)) {
            return std::string::npos;
        }
        return _tail.standard_output().find(marker) + marker.size();
    }
};

TEST_F(tail_test, prints_each_frame_that_begins_with_any_prefix_once) {
    // "al" begins "alpha", and "beta" is given twice: each frame is still one line.
    const auto tail = start_tail({"alpha", "al", "beta", "beta"});
    const auto start = wait_until_tailing(*tail, "al probe");
    ASSERT_NE(start, std::string::npos) << tail->wait(1s).standard_error;

    for (const char* frame :
         {"alpha 1", "gamma 1", "beta 1", "alps 1", "bet 1", "b", "other", "alpha 2", "beta end"}) {
        send(frame);
    }
    ASSERT_TRUE(tail->wait_for_stdout("beta end\n", 10s)) << tail->standard_output();
    EXPECT_EQ(tail->standard_output().substr(start),
              "alpha 1\nbeta 1\nalps 1\nalpha 2\nbeta end\n");
}

TEST_F(tail_test, prints_a_frame_of_any_bytes_as_one_escaped_line) {
    const auto tail = start_tail({});
    const auto start = wait_until_tailing(*tail, "probe");
    ASSERT_NE(start, std::string::npos) << tail->wait(1s).standard_error;

    // Well-formed UTF-8 stays; a C1 control, an overlong form, a surrogate, a code point past
    // U+10FFFF and a cut sequence do not.
    const char frame[] =
        "a\0b\nc\\d\xff\xff \x7e\x7f\x1b[2J\t\r"
        "caf\xc3\xa9 \xe2\x82\xac\xf0\x9f\x98\x80 \xc2\x9b\xc0\xaf\xed\xa0\x80"
        "\xf4\x90\x80\x80\xe2\x82";
    send(std::string(frame, sizeof frame - 1));
    send("");
    send("end");
    ASSERT_TRUE(tail->wait_for_stdout("\nend\n", 10s)) << tail->standard_output();
    EXPECT_EQ(tail->standard_output().substr(start),
              R"(a\x00b\x0ac\\d\xff\xff ~\x7f\x1b[2J\x09\x0d)"
              "caf\xc3\xa9 \xe2\x82\xac\xf0\x9f\x98\x80 "
              R"(\xc2\x9b\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe2\x82)"
              "\n\nend\n");
}

TEST_F(tail_test, max_count_ends_it_with_status_0_after_that_many_lines_and_nothing_else) {
    const auto tail = start_tail({"-m", "3"});
    // The frames before the subscription reaches the relay are lost, so the first frame printed
    // may be any of those sent; the two after it follow without a gap.
    bool printing = false;
    int sent = 0;
    while (sent < 200 && !printing) {
        send("frame " + std::to_string(sent++));
        printing = tail->wait_for_stdout("\n", 50ms);
    }
    ASSERT_TRUE(printing) << tail->wait(1s).standard_error;
    for (int more = 0; more < 5; ++more) {
        send("frame " + std::to_string(sent++));
    }
    const auto result = tail->wait(15s);
    EXPECT_TRUE(result.exited) << "signal " << result.term_signal;
    EXPECT_EQ(result.exit_status, 0) << result.standard_error;
    const auto& output = result.standard_output;
    const auto first = std::stoi(output.substr(output.find(' ') + 1));
    std::string expected;
    for (int frame = first; frame < first + 3; ++frame) {
        expected += "frame " + std::to_string(frame) + "\n";
    }
    EXPECT_EQ(output, expected);
    // A viewer's normal run says nothing else.
    EXPECT_EQ(result.standard_error, "");
}

TEST_F(tail_test, verbose_says_when_the_relay_is_reached_and_lost) {
    const auto tail = start_tail({"-v"});
    EXPECT_TRUE(tail->wait_for_stderr("vandrel-tail: connected to " + relay.output() + "\n", 10s))
        << tail->standard_error();
    relay.process().send_signal(SIGTERM);
    EXPECT_TRUE(tail->wait_for_stderr("vandrel-tail: lost " + relay.output() + "\n", 10s))
        << tail->standard_error();
}

TEST_F(tail_test, sigterm_and_sigint_end_it_with_status_0) {
    for (const int signal : {SIGTERM, SIGINT}) {
        const auto tail = start_tail({});
        ASSERT_NE(wait_until_tailing(*tail, "probe"), std::string::npos)
            << tail->wait(1s).standard_error;
        tail->send_signal(signal);
        const auto result = tail->wait(15s);
        EXPECT_TRUE(result.exited) << "signal " << signal << " killed it";
        EXPECT_EQ(result.exit_status, 0) << result.standard_error;
    }
}

// As with "vandrel-tail | head -1".
TEST_F(tail_test, a_standard_output_its_reader_closed_ends_it_with_status_0) {
    const auto tail = start_tail({});
    ASSERT_NE(wait_until_tailing(*tail, "probe"), std::string::npos)
        << tail->wait(1s).standard_error;
    tail->close_standard_output();
    send("nobody reads this");
    const auto result = tail->wait(15s);
    EXPECT_TRUE(result.exited) << "signal " << result.term_signal;
    EXPECT_EQ(result.exit_status, 0) << result.standard_error;
}

TEST(tail, a_refused_endpoint_is_status_1_and_a_line_naming_it_and_why) {
    for (const auto& [endpoint, reason] : std::vector<std::pair<std::string, std::string>>{
             {"bogus://x", "Protocol not supported"},
             {"tcp://127.0.0.1:99999", "Invalid argument"},
             {"", "Invalid argument"}}) {
        const auto result = run_tail({"-a", endpoint});
        EXPECT_TRUE(result.exited) << endpoint;
        EXPECT_EQ(result.exit_status, 1) << endpoint << "\n" << result.standard_error;
        EXPECT_NE(result.standard_error.find("vandrel-tail: cannot use endpoint \"" + endpoint +
                                             "\": " + reason + "\n"),
                  std::string::npos)
            << result.standard_error;
        EXPECT_EQ(result.standard_output, "");
    }
}

TEST(tail, an_endpoint_without_its_transport_gets_a_hint) {
    const auto result = run_tail({"-a", "127.0.0.1:5556"});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.standard_error.find("did you mean tcp://127.0.0.1:5556?\n"), std::string::npos)
        << result.standard_error;
}

TEST(tail, facing_no_relay_it_says_which_endpoint_it_waits_for) {
    const auto endpoint = test_support::free_tcp_endpoint();
    child_process tail(VANDREL_TAIL_BINARY, {"-a", endpoint}, {}, child_process::output::captured);
    EXPECT_TRUE(tail.wait_for_stderr("vandrel-tail: waiting for " + endpoint, 10s))
        << tail.standard_error();
}

// As with "vandrel-tail | head -0": no frame comes, yet it ends.
TEST(tail, a_reader_gone_ends_it_with_nothing_arriving) {
    child_process tail(VANDREL_TAIL_BINARY, {"-a", test_support::free_tcp_endpoint()}, {},
                       child_process::output::captured);
    tail.close_standard_output();
    const auto result = tail.wait(5s);
    EXPECT_TRUE(result.exited) << "signal " << result.term_signal;
    EXPECT_EQ(result.exit_status, 0) << result.standard_error;
}

TEST(tail, bad_usage_is_status_2_and_help_status_0) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"-x"},
                                                                  {"-m", "0"},
                                                                  {"-m", "3x"},
                                                                  {"--max-count=-1"},
                                                                  {"-n", "1"},
                                                                  {"-m"},
                                                                  {"-a"},
                                                                  {"--no-follow"}}) {
        const auto result = run_tail(args);
        EXPECT_EQ(result.exit_status, 2) << args.front() << "\n" << result.standard_error;
        EXPECT_NE(result.standard_error.find(usage_line), std::string::npos)
            << result.standard_error;
        EXPECT_EQ(result.standard_output, "");
    }
    const auto help = run_tail({"-h"});
    EXPECT_EQ(help.exit_status, 0) << help.standard_error;
    EXPECT_EQ(help.standard_output.rfind(usage_line, 0), 0u) << help.standard_output;
}

}  // namespace
