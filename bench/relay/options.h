#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace relay_bench {

enum class transport { tcp, ipc };

// What vandrel does with a history: none, one kept but read by nobody, or one a reader follows.
enum class history_mode { off, idle, following };

const char* transport_name(transport _transport);

// What one invocation of the harness measures, from its command line.
struct options {
    // Shorter windows and fewer repetitions: a smoke run, not figures to quote.
    bool quick = false;
    // The 10-million-frame run through vandrel alone instead of the comparison.
    bool sustained = false;
    // vandrel serves its counters to a scraper that reads them every second.
    bool metrics = false;
    // vandrel with CURVE against itself without, over tcp at 64 B and 1 KiB, and their
    // handshakes, instead of the comparison with zmq_proxy.
    bool curve = false;
    // Flooding clients refused by a CURVE relay beside an admitted load, instead of the
    // comparison; 0 runs none.
    int flooders = 0;
    int repetitions = 5;
    std::vector<transport> transports{transport::tcp, transport::ipc};
    std::vector<std::size_t> frame_sizes{64, 1024, 65536};
    history_mode history = history_mode::off;
};

// Throws std::invalid_argument, with the usage in its message, on a command line it cannot
// read.
options parse_options(int _argc, char** _argv);

}  // namespace relay_bench
