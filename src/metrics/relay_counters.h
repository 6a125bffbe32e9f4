#pragma once

#include <cstdint>
#include <string>

namespace zel {

// What the relay has done since it started, and its peers now. The loop's thread alone updates
// and reads it: plain counters, which cost the path of every frame no more than a few additions.
struct relay_counters {
    std::uint64_t frames_received = 0;
    std::uint64_t bytes_received = 0;
    std::uint64_t frames_published = 0;
    // Connections to the input and to the output now, as ZeroMQ's socket monitor tells them.
    std::int64_t producers = 0;
    std::int64_t subscribers = 0;

    // One line for the service manager's status and the totals record: the count of frames comes
    // first, for whoever reads it.
    std::string status() const;
    // The Prometheus text format, each metric with its help and type.
    std::string metrics() const;
};

}  // namespace zel
