// What hostile history readers cost the relay's live traffic. Fills vandrel's history, starts
// readers that each ask for a lot and never read ("memory": 64 x "last 1000000" of 60 KB
// records) or make the relay compare much and match nothing ("stalls": "last 1" with 64 prefixes
// of 1 KiB on a history of records that share all but the last byte of each), then relays 20,000
// frames at 2,000 frames/s to a subscriber. Prints the relay's resident memory before and at its
// peak, the frames the subscriber missed and the longest silence it saw between two frames.
// Run by hand (see README.md).
#include "cores.h"
#include "endpoints.h"
#include "process_usage.h"
#include "relay_process.h"
#include "scratch_dir.h"

#include <zmq.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace relay_bench;
using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;

constexpr int live_frames = 20000;
constexpr auto live_period = 500us;

struct scenario {
    std::size_t history_bytes;
    std::size_t record_size;
    std::string request;
    int prefixes;
};

double rss_mib(pid_t _pid) {
    return double(status_kib(_pid, "VmRSS")) / 1024;
}

// From its own loopback address, so that each reader is a peer of its own.
std::string from_address(const std::string& _endpoint, int _reader) {
    return "tcp://127.0.0." + std::to_string(2 + _reader % 250) + ":0;" + _endpoint.substr(6);
}

// Until the history's newest record is _frame.
bool history_holds(zmq::context_t& _context, const std::string& _endpoint,
                   const std::string& _frame) {
    for (int attempt = 0; attempt < 600; ++attempt) {
        zmq::socket_t reader(_context, zmq::socket_type::dealer);
        reader.set(zmq::sockopt::linger, 0);
        reader.set(zmq::sockopt::rcvtimeo, 2000);
        reader.connect(_endpoint);
        reader.send(zmq::str_buffer("last 1"));
        zmq::message_t line;
        zmq::message_t frame;
        while (reader.recv(line)) {
            if (line.to_string_view().substr(0, 7) == "record ") {
                if (reader.recv(frame) && frame.to_string_view() == _frame) {
                    return true;
                }
                break;
            }
            if (line.to_string_view() == "live") {
                break;
            }
        }
        std::this_thread::sleep_for(200ms);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const int reader_count = argc > 2 ? std::stoi(argv[2]) : 64;
    const std::string relay_path = argc > 3 ? argv[3] : VANDREL_PATH;
    if (mode != "memory" && mode != "stalls") {
        std::cerr << "usage: history_readers memory|stalls [READERS [VANDREL]]\n";
        return 2;
    }
    const scenario chosen = mode == "memory" ? scenario{64u << 20, 60000, "last 1000000", 0}
                                             : scenario{std::size_t(1) << 30, 1100, "last 1", 64};
    const scratch_dir dir;
    zmq::context_t context(2);
    const endpoints where = make_endpoints(transport::tcp, dir, 1, false, true);
    const std::string config_path = dir.path("history.json");
    std::ofstream(config_path) << R"({"system": {"input_address": ")" << where.input
                               << R"(", "output_address": ")" << where.output
                               << R"(", "history_address": ")" << where.history
                               << R"(", "history_bytes": )" << chosen.history_bytes << "}}\n";
    relay_process relay({relay_path, "-c", config_path}, relay_core, dir.path("relay.log"));
    std::this_thread::sleep_for(1s);

    zmq::socket_t producer(context, zmq::socket_type::push);
    producer.set(zmq::sockopt::linger, 0);
    producer.connect(where.input);
    // Records that begin as every prefix does but for its last byte.
    std::string record(chosen.record_size, 'p');
    record[1023] = 'x';
    const auto fill_start = clock_type::now();
    const std::size_t fill_count = chosen.history_bytes / (chosen.record_size + 8) + 10;
    for (std::size_t i = 0; i < fill_count; ++i) {
        producer.send(zmq::buffer(record));
    }
    producer.send(zmq::str_buffer("filled"));
    if (!history_holds(context, where.history, "filled")) {
        std::cerr << "the history was not filled: " << relay.describe() << '\n';
        return 1;
    }
    const double filled_seconds =
        std::chrono::duration<double>(clock_type::now() - fill_start).count();
    const double rss_filled = rss_mib(relay.pid());

    zmq::socket_t subscriber(context, zmq::socket_type::sub);
    subscriber.set(zmq::sockopt::linger, 0);
    subscriber.set(zmq::sockopt::subscribe, "live ");
    subscriber.set(zmq::sockopt::rcvtimeo, 100);
    subscriber.connect(where.output);
    std::this_thread::sleep_for(500ms);

    std::vector<zmq::socket_t> readers;
    for (int i = 0; i < reader_count; ++i) {
        auto& reader = readers.emplace_back(context, zmq::socket_type::dealer);
        reader.set(zmq::sockopt::linger, 0);
        reader.connect(from_address(where.history, i));
        reader.send(zmq::buffer(chosen.request),
                    chosen.prefixes ? zmq::send_flags::sndmore : zmq::send_flags::none);
        for (int p = 0; p < chosen.prefixes; ++p) {
            std::string prefix(1024, 'p');
            prefix[1023] = char('A' + p);
            reader.send(zmq::buffer(prefix),
                        p + 1 < chosen.prefixes ? zmq::send_flags::sndmore : zmq::send_flags::none);
        }
    }

    std::atomic<bool> done{false};
    std::atomic<double> peak{rss_filled};
    std::thread sampler([&] {
        while (!done) {
            peak = std::max(peak.load(), rss_mib(relay.pid()));
            std::this_thread::sleep_for(100ms);
        }
    });
    int received = 0;
    double longest_ms = 0;
    std::thread reading([&] {
        zmq::message_t frame;
        auto last = clock_type::now();
        const auto end = clock_type::now() + live_period * live_frames + 5s;
        while (received < live_frames && clock_type::now() < end) {
            if (!subscriber.recv(frame)) {
                continue;
            }
            const auto now = clock_type::now();
            longest_ms =
                std::max(longest_ms, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
            ++received;
        }
    });
    auto next = clock_type::now();
    for (int i = 0; i < live_frames; ++i) {
        std::this_thread::sleep_until(next += live_period);
        producer.send(zmq::buffer("live " + std::to_string(i)));
    }
    reading.join();
    done = true;
    sampler.join();
    std::cout << mode << ", " << reader_count << " readers: history filled in " << filled_seconds
              << " s, relay RSS " << rss_filled << " MiB filled, " << peak.load()
              << " MiB at its peak; subscriber missed " << live_frames - received << " of "
              << live_frames << " frames, longest silence " << longest_ms << " ms\n";
    std::cout << "relay " << relay.stop() << '\n';
    return 0;
}
