#pragma once

#include "options.h"
#include "relay_command.h"
#include "scratch_dir.h"

#include <zmq.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

namespace relay_bench {

// The load of one measurement.
struct measurement_setup {
    transport transport_kind = transport::tcp;
    std::size_t frame_size = 64;
    // How long the producers send as fast as the relay takes frames.
    double saturation_seconds = 1;
    // How long they send at the paced rate: long enough that a stall of a few milliseconds
    // from elsewhere on the machine does not reach p99 on its own.
    double paced_seconds = 2;
    // vandrel serves its counters, and a scraper reads them every second throughout.
    bool scrape_metrics = false;
    history_mode history = history_mode::off;
};

// The frames per second, of all producers together, at which latency is measured.
constexpr double paced_rate = 10'000;

// What one relay did in one run.
struct run_figures {
    // At saturation: frames through the relay's input and to the subscriber, per second, and
    // the share of the data frames that the subscriber missed.
    double relayed_per_second = 0;
    double delivered_per_second = 0;
    double loss_percent = 0;
    // The relay's CPU time (all its threads, user and system) per frame relayed at saturation.
    double cpu_us_per_frame = 0;
    // At the paced rate, from each frame's send to its receipt by the subscriber, and the
    // share of frames lost there.
    double p50_us = 0;
    double p99_us = 0;
    double paced_loss_percent = 0;
    // The relay's peak resident memory over the whole run.
    double peak_rss_mib = 0;
    // Over both phases; anything but 0 is a fault of the relay.
    std::uint64_t reordered = 0;
    std::uint64_t malformed = 0;
    // Records a history reader received, when one followed.
    std::uint64_t history_records = 0;
    // How the relay ended when stopped with SIGTERM.
    std::string stop_status;
    // Scrapes of its counters answered during the run, with --metrics.
    int scrapes = 0;
};

// Starts _relay on the relay core, connects a load generator to it (on this process's core),
// measures a saturation phase then a paced phase, and stops the relay.
run_figures measure(relay_kind _relay, const measurement_setup& _setup, zmq::context_t& _context,
                    const scratch_dir& _dir, int _run);

}  // namespace relay_bench
