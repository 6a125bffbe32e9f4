#pragma once

#include "measurement.h"
#include "options.h"

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

namespace relay_bench {

// The runs of one comparison: one transport and one frame size, the relays interleaved, the
// i-th run of each from the same repetition.
struct comparison {
    transport transport_kind = transport::tcp;
    std::size_t frame_size = 0;
    // The relay measured and the one it is compared with; the goals hold only against zmq_proxy.
    relay_kind subject = relay_kind::vandrel;
    relay_kind reference = relay_kind::zmq_proxy;
    std::vector<run_figures> subject_runs;
    std::vector<run_figures> reference_runs;
};

// "64 B", "1 KiB", "64 KiB".
std::string size_name(std::size_t _bytes);

// A rate of frames per second, in k or M with three digits.
std::string rate_text(double _per_second);

// One run on one line, for the progress log.
std::string run_line(const run_figures& _figures);

// A table per comparison: each figure's median for each relay and of the runs' ratios
// subject / reference, with their min-max spread, against the goals; then the goals met and
// missed.
void print_report(std::ostream& _out, const std::vector<comparison>& _comparisons);

}  // namespace relay_bench
