#pragma once

#include "options.h"
#include "scratch_dir.h"

#include <zmq.hpp>

#include <string>

namespace relay_bench {

// Where a relay binds its input, its output and its history, when it keeps one, and the keys its
// clients connect with: empty for plain text.
struct endpoints {
    std::string input;
    std::string output;
    // HOST:PORT where vandrel serves its counters; empty serves none.
    std::string metrics;
    // Where vandrel serves its history; empty keeps none.
    std::string history;
    std::string server_key;
    std::string public_key;
    std::string secret_key;

    // Makes _socket a CURVE client when there are keys; before it connects.
    void secure(zmq::socket_t& _socket) const;
};

// Fresh endpoints for the run numbered _run: a new pair of free loopback ports, or a new pair
// of socket files in _dir, so that no run meets a connection or a file left by another.
// With _metrics, a free loopback port for the counters too; with _history, an endpoint for it.
endpoints make_endpoints(transport _transport, const scratch_dir& _dir, int _run, bool _metrics,
                         bool _history);

}  // namespace relay_bench
