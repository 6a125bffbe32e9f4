#pragma once

#include <cstdint>

namespace relay_bench {

enum class frame_kind : std::uint8_t {
    // Counted, checked for order and loss.
    data,
    // Also carries the time it was sent, for the subscriber to measure latency.
    timed_data,
    // Sent after a producer's last data frame of a phase: once the subscriber has seen one
    // from every producer, every frame of the phase has been through the relay.
    end_marker,
};

// What the load generator writes at the start of every frame, so that the subscriber can
// check frames, count losses and measure latency without any other channel to the producers.
// Producers and subscriber live in one process, so the layout needs no care for byte order.
struct frame_header {
    // Per producer and phase, increasing by one: a gap is a loss, a step back a reordering.
    std::uint64_t sequence;
    // CLOCK_MONOTONIC, just before the frame was handed to the producer's socket.
    std::int64_t sent_ns;
    // The size the frame was sent with, to check that it arrives whole.
    std::uint32_t frame_size;
    std::uint16_t phase;
    std::uint8_t producer;
    frame_kind kind;
};

static_assert(sizeof(frame_header) == 24, "the header has no padding to leave uninitialised");

}  // namespace relay_bench
