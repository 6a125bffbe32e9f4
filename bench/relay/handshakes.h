#pragma once

#include "options.h"
#include "relay_command.h"
#include "scratch_dir.h"

#include <zmq.hpp>

namespace relay_bench {

// What a relay does with connections that come one after the other: a PUSH client connects to
// its input, completes the handshake, and closes, again and again.
struct handshake_figures {
    double per_second = 0;
    // The relay's CPU time (all its threads) per handshake.
    double cpu_us_per_handshake = 0;
};

// Starts _relay over tcp and measures its handshakes for _seconds.
handshake_figures measure_handshakes(relay_kind _relay, double _seconds, zmq::context_t& _context,
                                     const scratch_dir& _dir, int _run);

}  // namespace relay_bench
