#include "flood.h"

#include "clock.h"
#include "flooder.h"
#include "load_generator.h"
#include "process_usage.h"
#include "relay_run.h"
#include "statistics.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>

namespace relay_bench {
namespace {

constexpr std::size_t frame_size = 64;
constexpr double quiet_seconds = 1;
// About a millisecond of each producer's frames.
constexpr std::uint64_t frames_per_wake = 16;

phase_plan paced(const flood_setup& _setup, double _seconds) {
    phase_plan plan;
    plan.frame_size = frame_size;
    plan.frames = std::uint64_t(_setup.frames_per_second * _seconds);
    // Room for a relay that falls behind; the frame bound ends the phase otherwise.
    plan.seconds = 2 * _seconds;
    plan.frames_per_second = _setup.frames_per_second;
    plan.frames_per_wake = frames_per_wake;
    return plan;
}

// What the relay's threads and the machine's cores have used so far.
struct usage_sample {
    std::int64_t at_ns = 0;
    std::vector<thread_usage> threads;
    std::vector<core_ticks> cores;

    explicit usage_sample(pid_t _relay)
        : at_ns(now_ns()), threads(thread_cpu_seconds(_relay)), cores(core_usage()) {}
};

void add_usage(flood_figures& _figures, pid_t _relay, const usage_sample& _before,
               const usage_sample& _after) {
    const double seconds = double(_after.at_ns - _before.at_ns) / 1e9;
    for (const auto& thread : _after.threads) {
        double used = thread.cpu_seconds;
        for (const auto& earlier : _before.threads) {
            if (earlier.tid == thread.tid) {
                used -= earlier.cpu_seconds;
            }
        }
        _figures.thread_percent[thread.tid == _relay ? "main" : thread.name] +=
            100 * used / seconds;
    }
    for (std::size_t core = 0; core < _after.cores.size() && core < _before.cores.size(); ++core) {
        const auto total = _after.cores[core].total - _before.cores[core].total;
        const auto busy = _after.cores[core].busy - _before.cores[core].busy;
        _figures.core_percent.push_back(total == 0 ? 0 : 100.0 * double(busy) / double(total));
    }
}

std::string one_decimal(double _value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", _value);
    return text;
}

std::string cell(const std::vector<double>& _values) {
    const spread figures = spread_of(_values);
    return one_decimal(figures.median) + " (" + one_decimal(figures.min) + " – " +
           one_decimal(figures.max) + ")";
}

}  // namespace

flood_figures measure_flood(const flood_setup& _setup, zmq::context_t& _context,
                            const scratch_dir& _dir, int _run) {
    return with_relay(
        relay_kind::vandrel_curve, transport::tcp, _dir, _run,
        [&](relay_process& _process, const endpoints& _endpoints) {
            load_generator generator(_context, _endpoints);
            generator.connect();
            flood_figures figures;

            const double quiet_cpu_before = cpu_seconds(_process.pid());
            const std::int64_t quiet_start = now_ns();
            const phase_result quiet = generator.run_phase(paced(_setup, quiet_seconds));
            const double quiet_cpu_per_second = (cpu_seconds(_process.pid()) - quiet_cpu_before) /
                                                (double(now_ns() - quiet_start) / 1e9);
            figures.quiet_lost = quiet.sent - quiet.delivered;
            figures.quiet_silence_ms = double(quiet.longest_silence_ns) / 1e6;

            std::vector<std::unique_ptr<flooder>> flooders;
            for (int i = 0; i < _setup.flooders; ++i) {
                flooders.push_back(std::make_unique<flooder>(_endpoints));
            }
            const auto refused = [&flooders] {
                std::uint64_t count = 0;
                for (const auto& flooding : flooders) {
                    count += flooding->refused();
                }
                return count;
            };
            const std::uint64_t refused_before = refused();
            const usage_sample before(_process.pid());
            const double cpu_before = cpu_seconds(_process.pid());
            const phase_result flooded = generator.run_phase(paced(_setup, _setup.seconds));
            const double cpu_used = cpu_seconds(_process.pid()) - cpu_before;
            const usage_sample after(_process.pid());
            const std::uint64_t handshakes = refused() - refused_before;
            flooders.clear();

            const double seconds = double(after.at_ns - before.at_ns) / 1e9;
            figures.sent = flooded.sent;
            figures.lost = flooded.sent - flooded.delivered;
            figures.silence_ms = double(flooded.longest_silence_ns) / 1e6;
            figures.handshakes_per_second = double(handshakes) / seconds;
            figures.cpu_us_per_handshake =
                handshakes == 0
                    ? 0
                    : 1e6 * (cpu_used - quiet_cpu_per_second * seconds) / double(handshakes);
            add_usage(figures, _process.pid(), before, after);
            _process.stop();
            return figures;
        });
}

std::string flood_line(const flood_figures& _figures) {
    std::string line = "quiet: lost " + std::to_string(_figures.quiet_lost) + ", silence " +
                       one_decimal(_figures.quiet_silence_ms) + " ms; flood: lost " +
                       std::to_string(_figures.lost) + " of " + std::to_string(_figures.sent) +
                       ", silence " + one_decimal(_figures.silence_ms) + " ms, " +
                       one_decimal(_figures.handshakes_per_second) + " handshakes/s, " +
                       one_decimal(_figures.cpu_us_per_handshake) + " µs/handshake; threads";
    for (const auto& [name, percent] : _figures.thread_percent) {
        line += " " + name + " " + one_decimal(percent) + " %";
    }
    line += "; cores";
    for (const double percent : _figures.core_percent) {
        line += " " + one_decimal(percent) + " %";
    }
    return line;
}

void print_flood_report(std::ostream& _out, const flood_setup& _setup,
                        const std::vector<flood_figures>& _runs) {
    _out << "\n### Refused handshakes beside " << _setup.frames_per_second
         << " frames/s of 64 B, tcp (" << _setup.flooders << " flooders, " << _setup.seconds
         << " s; medians of " << _runs.size() << " runs, min – max)\n\n"
         << "| figure | value |\n|---|--:|\n";
    const auto row = [&](const std::string& _name, auto _figure) {
        std::vector<double> values;
        for (const auto& run : _runs) {
            values.push_back(_figure(run));
        }
        _out << "| " << _name << " | " << cell(values) << " |\n";
    };
    row("frames lost without the flood",
        [](const flood_figures& _run) { return double(_run.quiet_lost); });
    row("longest silence without the flood (ms)",
        [](const flood_figures& _run) { return _run.quiet_silence_ms; });
    row("frames lost", [](const flood_figures& _run) { return double(_run.lost); });
    row("frames lost (%)", [](const flood_figures& _run) {
        return _run.sent == 0 ? 0 : 100 * double(_run.lost) / double(_run.sent);
    });
    row("longest silence (ms)", [](const flood_figures& _run) { return _run.silence_ms; });
    row("refused handshakes/s",
        [](const flood_figures& _run) { return _run.handshakes_per_second; });
    row("relay CPU per handshake (µs)",
        [](const flood_figures& _run) { return _run.cpu_us_per_handshake; });
    std::set<std::string> threads;
    for (const auto& run : _runs) {
        for (const auto& thread : run.thread_percent) {
            threads.insert(thread.first);
        }
    }
    for (const auto& name : threads) {
        row("relay thread " + name + " (% of a core)", [&name](const flood_figures& _run) {
            const auto found = _run.thread_percent.find(name);
            return found == _run.thread_percent.end() ? 0 : found->second;
        });
    }
    for (std::size_t core = 0; core < _runs.front().core_percent.size(); ++core) {
        row("core " + std::to_string(core) + " busy, all processes (%)",
            [core](const flood_figures& _run) {
                return core < _run.core_percent.size() ? _run.core_percent[core] : 0;
            });
    }
    _out << "\nRuns that lost frames during the flood: "
         << std::count_if(_runs.begin(), _runs.end(),
                          [](const flood_figures& _run) { return _run.lost > 0; })
         << " of " << _runs.size() << ".\n";
}

}  // namespace relay_bench
