#include <core/logger.h>

#include <test_support/logger_peer.h>

#include <gtest/gtest.h>
#include <syslog.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace core = zel::libs::core;
using test_support::date_pattern;

namespace {

// The statement of a death test, which runs in a process re-executed for it:
// the variable is read once per process, and a forked child would inherit the
// reading of a parent that made a logger before. Logs through _body with a
// peer on the debug socket, then writes the frames it got to standard error as
// "frame: " lines, after the system log's copies there.
[[noreturn]] void log_and_show_frames(const char* _launched_by_systemd,
                                      const std::function<void(core::logger&)>& _body) {
    if (_launched_by_systemd != nullptr) {
        setenv("ZEL_LAUNCHED_BY_SYSTEMD", _launched_by_systemd, 1);
    } else {
        unsetenv("ZEL_LAUNCHED_BY_SYSTEMD");
    }
    {
        test_support::pull_peer peer;
        core::logger logger("vandrel", "main");
        logger.connect(peer.endpoint());
        _body(logger);
        logger.set_debug(false);
        logger.debug("<end>");
        for (auto frame = peer.receive(); frame && frame->find("<end>") == std::string::npos;
             frame = peer.receive()) {
            std::fprintf(stderr, "frame: %s\n", frame->c_str());
        }
    }
    std::exit(0);
}

// The whole standard error as a POSIX extended expression: these lines in this
// order and nothing else, "@" standing for the date part.
std::string exactly(const std::vector<std::string>& _lines) {
    std::string pattern;
    for (const auto& line : _lines) {
        pattern += std::regex_replace(line, std::regex(R"([.()|*+?^$\\[\]{}])"), R"(\$&)") + "\n";
    }
    return "^" + std::regex_replace(pattern, std::regex("@"), date_pattern) + "$";
}

class system_log : public ::testing::Test {
protected:
    system_log() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(system_log, records_are_dated_and_copied_to_stderr_unless_launched_by_systemd) {
    const auto body = [](core::logger& _logger) { _logger.info("hello %1%") % "world"; };
    const auto expected =
        exactly({"vandrel: @Starting vandrel", "vandrel: @hello world",
                 "frame: &vandrel:main @Connected to socket", "frame: &vandrel:main @hello world"});
    for (const char* value : {static_cast<const char*>(nullptr), "", "0", "yes"}) {
        EXPECT_EXIT(log_and_show_frames(value, body), testing::ExitedWithCode(0), expected)
            << (value ? value : "unset");
    }
}

TEST_F(system_log, launched_by_systemd_drops_the_date_unless_the_component_prints_to_stderr) {
    const auto body = [](core::logger& _logger) {
        _logger.info("first");
        // The copy on standard error stays off for the logger's life; turning
        // it on here shows the text that records hand to the system log.
        openlog("syslog", LOG_PERROR, LOG_USER);
        setenv("ZEL_LAUNCHED_BY_SYSTEMD", "0", 1);  // too late: read once
        _logger.info("undated");
        auto component = _logger.component("x");
        component->set_print_to_stderr(true);
        component->info("dated");
    };
    EXPECT_EXIT(log_and_show_frames("1", body), testing::ExitedWithCode(0),
                exactly({"syslog: undated", "syslog: @dated",
                         "frame: &vandrel:main @Connected to socket", "frame: &vandrel:main @first",
                         "frame: &vandrel:main @undated", "frame: &vandrel:x @dated"}));
}

TEST_F(system_log, debug_switches_debug_records_and_indentation_only_there) {
    const auto body = [](core::logger& _logger) {
        _logger.debug("hidden");
        auto guard = _logger.enter_scope("traced");
        _logger.info("inside");
        _logger.set_debug(true);
        _logger.debug("shown");
        guard.reset();
        // Each level at its own priority: only the one the mask names passes.
        _logger.set_writing_to_socket(false);
        for (const int priority : {LOG_DEBUG, LOG_INFO, LOG_WARNING, LOG_ERR}) {
            setlogmask(LOG_MASK(priority));
            _logger.debug("debug at %1%") % priority;
            _logger.info("info at %1%") % priority;
            _logger.warning("warning at %1%") % priority;
            _logger.error("error at %1%") % priority;
        }
        _logger.set_writing_to_socket(true);
    };
    EXPECT_EXIT(
        log_and_show_frames(nullptr, body), testing::ExitedWithCode(0),
        exactly({"vandrel: @Starting vandrel", "vandrel: @inside", "vandrel: @    | shown",
                 "vandrel: @debug at 7", "vandrel: @info at 6", "vandrel: @warning at 4",
                 "vandrel: @error at 3", "frame: &vandrel:main @Connected to socket",
                 "frame: &vandrel:main @hidden", "frame: &vandrel:main @traced",
                 "frame: &vandrel:main @    | inside", "frame: &vandrel:main @    | shown"}));
}

class debug_socket : public test_support::connected_logger {};

TEST_F(debug_socket, records_follow_the_writing_flag) {
    EXPECT_TRUE(std::regex_match(
        connected_record, std::regex("&vandrel:main " + date_pattern + "Connected to socket")))
        << connected_record;
    logger.info("sent");
    logger.set_writing_to_socket(false);
    EXPECT_FALSE(logger.is_writing_to_socket());
    logger.info("held back");
    logger.set_writing_to_socket(true);
    logger.info("sent again");
    EXPECT_EQ(next_bodies(2), (std::vector<std::string>{"sent", "sent again"}));
}

TEST_F(debug_socket, refused_endpoint_throws_and_records_no_connection) {
    EXPECT_THROW(logger.connect("nosuchtransport://somewhere"), zmq::error_t);
    EXPECT_THROW(logger.connect("tcp://127.0.0.1"), zmq::error_t);
    // The lock was released: the next record goes out, and is the next frame.
    logger.info("still logging");
    EXPECT_EQ(next_body(), "still logging");
}

TEST_F(debug_socket, records_of_concurrent_threads_arrive_whole) {
    constexpr int threads = 4;
    constexpr int records = 200;  // in all below the high-water mark: none dropped
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([this, t] {
            const auto component = logger.component("worker" + std::to_string(t));
            for (int i = 0; i < records; ++i) {
                component->debug("%1% %2% %3%") % t % i % std::string(300, 'x');
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    const std::regex whole("&vandrel:worker([0-9]) " + date_pattern + "([0-9]) ([0-9]+) x{300}");
    std::vector<int> next_index(threads, 0);
    for (int n = 0; n < threads * records; ++n) {
        const std::string frame = next_frame();
        std::smatch match;
        ASSERT_TRUE(std::regex_match(frame, match, whole)) << "frame " << n << ": " << frame;
        ASSERT_EQ(match[1], match[2]);
        EXPECT_EQ(std::stoi(match[3]), next_index[std::stoi(match[1])]++);
    }
}

}  // namespace
