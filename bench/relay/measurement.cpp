#include "measurement.h"

#include "history_follower.h"
#include "load_generator.h"
#include "metrics_scraper.h"
#include "process_usage.h"
#include "relay_run.h"
#include "statistics.h"

#include <memory>
#include <stdexcept>

namespace relay_bench {
namespace {

// The frame bound of a saturation phase, far above what a second carries at any size: the
// time bound is the one that ends it unless the relay is faster than any seen.
constexpr std::uint64_t saturation_frames = 10'000'000;

double percent_lost(const phase_result& _phase) {
    return _phase.sent == 0 ? 0
                            : 100.0 * double(_phase.sent - _phase.delivered) / double(_phase.sent);
}

run_figures load(relay_process& _relay, const measurement_setup& _setup, zmq::context_t& _context,
                 const endpoints& _endpoints) {
    load_generator generator(_context, _endpoints);
    generator.connect();
    std::unique_ptr<history_follower> follower;
    // zmq_proxy, the reference, keeps no history to follow.
    if (_setup.history == history_mode::following && !_endpoints.history.empty()) {
        follower = std::make_unique<history_follower>(_context, _endpoints.history);
    }

    phase_plan saturation;
    saturation.frame_size = _setup.frame_size;
    saturation.frames = saturation_frames;
    saturation.seconds = _setup.saturation_seconds;
    const double cpu_before = cpu_seconds(_relay.pid());
    const phase_result saturated = generator.run_phase(saturation);
    const double cpu_used = cpu_seconds(_relay.pid()) - cpu_before;

    phase_plan paced;
    paced.frame_size = _setup.frame_size;
    paced.frames = std::uint64_t(paced_rate * _setup.paced_seconds);
    // Room for a relay slower than the pace; the frame bound ends the phase otherwise.
    paced.seconds = 2 * _setup.paced_seconds;
    paced.frames_per_second = paced_rate;
    paced.timed = true;
    const phase_result timed = generator.run_phase(paced);
    if (timed.latencies_ns.empty()) {
        throw std::runtime_error("no paced frame reached the subscriber");
    }

    run_figures figures;
    figures.relayed_per_second = double(saturated.relayed()) / saturated.seconds;
    figures.delivered_per_second = double(saturated.delivered) / saturated.seconds;
    figures.loss_percent = percent_lost(saturated);
    figures.cpu_us_per_frame = 1e6 * cpu_used / double(saturated.relayed());
    figures.p50_us = double(quantile(timed.latencies_ns, 0.5)) / 1e3;
    figures.p99_us = double(quantile(timed.latencies_ns, 0.99)) / 1e3;
    figures.paced_loss_percent = percent_lost(timed);
    figures.peak_rss_mib = double(status_kib(_relay.pid(), "VmHWM")) / 1024;
    figures.reordered = saturated.reordered + timed.reordered;
    figures.malformed = saturated.malformed + timed.malformed;
    figures.history_records = follower ? follower->stop() : 0;
    return figures;
}

}  // namespace

run_figures measure(relay_kind _relay, const measurement_setup& _setup, zmq::context_t& _context,
                    const scratch_dir& _dir, int _run) {
    return with_relay(
        _relay, _setup.transport_kind, _dir, _run,
        [&](relay_process& _process, const endpoints& _endpoints) {
            const metrics_scraper scraper(_endpoints.metrics);
            run_figures figures = load(_process, _setup, _context, _endpoints);
            figures.stop_status = _process.stop();
            figures.scrapes = scraper.answered();
            return figures;
        },
        _setup.scrape_metrics && _relay == relay_kind::vandrel,
        _relay == relay_kind::vandrel && _setup.history != history_mode::off);
}

}  // namespace relay_bench
