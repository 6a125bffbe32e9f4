#pragma once

#include "options.h"
#include "scratch_dir.h"

#include <string>

namespace relay_bench {

// Where a relay binds its input, its output and its history, when it keeps one.
struct endpoints {
    std::string input;
    std::string output;
    std::string history;
};

// Fresh endpoints for the run numbered _run: a new pair of free loopback ports, or a new pair
// of socket files in _dir, so that no run meets a connection or a file left by another.
endpoints make_endpoints(transport _transport, const scratch_dir& _dir, int _run);

}  // namespace relay_bench
