#include "sustained.h"

#include "load_generator.h"
#include "process_usage.h"
#include "relay_run.h"
#include "report.h"
#include "statistics.h"

#include <algorithm>
#include <iomanip>
#include <string>
#include <vector>

namespace relay_bench {
namespace {

// Growth of the trend over the run beyond this counts. The frames queued in the relay move
// single samples by more than this, while a leak of even a tenth of a byte per frame would
// exceed it over 10 million frames.
constexpr double flat_tolerance_kib = 1024;
constexpr std::int64_t ceiling_kib = 32 * 1024;
// Far more than 10 million frames take through a relay at the speeds measured here.
constexpr double time_bound_seconds = 300;

struct sustained_result {
    phase_result phase;
    std::int64_t before_kib = 0;
    std::vector<std::int64_t> samples_kib;
    std::int64_t peak_kib = 0;
    std::string stop_status;
};

sustained_result sustain(relay_process& _relay, const endpoints& _endpoints,
                         std::size_t _frame_size, std::uint64_t _frames, zmq::context_t& _context) {
    sustained_result result;
    {
        load_generator generator(_context, _endpoints);
        generator.connect();
        result.before_kib = status_kib(_relay.pid(), "VmRSS");
        phase_plan plan;
        plan.frame_size = _frame_size;
        plan.frames = _frames;
        plan.seconds = time_bound_seconds;
        result.phase = generator.run_phase(
            plan, [&](double) { result.samples_kib.push_back(status_kib(_relay.pid(), "VmRSS")); });
    }
    result.peak_kib = status_kib(_relay.pid(), "VmHWM");
    result.stop_status = _relay.stop();
    return result;
}

// Prints one sustained run and returns whether it held.
bool print_sustained(std::ostream& _out, std::size_t _frame_size, std::uint64_t _frames,
                     const sustained_result& _result) {
    const phase_result& phase = _result.phase;
    _out << std::fixed << std::setprecision(1) << "\n### " << size_name(_frame_size)
         << ", tcp: " << phase.sent << " frames in " << phase.seconds << " s ("
         << rate_text(double(phase.relayed()) / phase.seconds) << " relayed/s, "
         << 100.0 * double(phase.delivered) / double(phase.sent) << " % delivered, "
         << phase.reordered << " out of order, " << phase.malformed
         << " of the wrong size), stopped: " << _result.stop_status << "\n\n"
         << "VmRSS before the load: " << _result.before_kib << " KiB; each second (KiB):";
    std::vector<double> samples;
    for (const auto sample : _result.samples_kib) {
        _out << ' ' << sample;
        samples.push_back(double(sample));
    }
    if (samples.size() < 2) {
        _out << "\nFewer than two samples: too short to judge.\n";
        return false;
    }
    const auto [lowest, highest] = std::minmax_element(samples.begin(), samples.end());
    // Frames queued in the relay come and go, so single samples wander: a leak shows as a
    // trend, the least-squares one over the samples.
    const double kib_per_second = slope(samples);
    const double growth_kib = kib_per_second * double(samples.size() - 1);
    const bool flat = growth_kib <= flat_tolerance_kib;
    const bool under = _result.peak_kib < ceiling_kib;
    _out << "\nFrom the first second on: " << std::int64_t(*lowest) << " to "
         << std::int64_t(*highest) << " KiB; trend " << kib_per_second << " KiB/s, " << growth_kib
         << " KiB over the run, " << std::setprecision(4)
         << growth_kib * 1024 / double(phase.relayed()) << " bytes per frame ("
         << (flat ? "flat" : "GROWS") << "); VmHWM: " << _result.peak_kib << " KiB ("
         << (under ? "under" : "NOT under") << " 32 MiB)\n";
    return flat && under && phase.sent == _frames;
}

}  // namespace

bool run_sustained(std::ostream& _out, std::uint64_t _frames, zmq::context_t& _context,
                   const scratch_dir& _dir) {
    bool held = true;
    int run = 0;
    for (const std::size_t frame_size : {std::size_t(64), std::size_t(1024)}) {
        const sustained_result result =
            with_relay(relay_kind::vandrel, transport::tcp, _dir, ++run,
                       [&](relay_process& _relay, const endpoints& _endpoints) {
                           return sustain(_relay, _endpoints, frame_size, _frames, _context);
                       });
        held = print_sustained(_out, frame_size, _frames, result) && held;
    }
    return held;
}

}  // namespace relay_bench
