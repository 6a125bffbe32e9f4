#pragma once

#include "scratch_dir.h"

#include <zmq.hpp>

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace relay_bench {

// What a flood of refused handshakes costs the legitimate traffic of a CURVE relay.
struct flood_setup {
    int flooders = 2;
    // Of the flood; a second of the load alone comes first.
    double seconds = 5;
    // Of the generator's producers together, in frames of 64 B.
    double frames_per_second = 40'000;
};

// What one run measured.
struct flood_figures {
    // Without the flood, then with it: data frames the subscriber missed of those sent, and the
    // longest it went without one.
    std::uint64_t quiet_lost = 0;
    double quiet_silence_ms = 0;
    std::uint64_t sent = 0;
    std::uint64_t lost = 0;
    double silence_ms = 0;
    double handshakes_per_second = 0;
    // The relay's CPU time beyond what the load alone costs it, per refused handshake.
    double cpu_us_per_handshake = 0;
    // During the flood: each relay thread's share of a core ("main" is the loop's, the others
    // by the names libzmq and the library give them), and how busy each core of the machine was.
    std::map<std::string, double> thread_percent;
    std::vector<double> core_percent;
};

// Starts vandrel with CURVE on the relay core, the generator's producers (admitted) sending
// _setup's rate to its subscriber (admitted) for a second, then for _setup.seconds beside
// _setup.flooders clients that the relay refuses again and again.
flood_figures measure_flood(const flood_setup& _setup, zmq::context_t& _context,
                            const scratch_dir& _dir, int _run);

std::string flood_line(const flood_figures& _figures);

// The runs' medians with their min – max.
void print_flood_report(std::ostream& _out, const flood_setup& _setup,
                        const std::vector<flood_figures>& _runs);

}  // namespace relay_bench
