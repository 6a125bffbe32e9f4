#pragma once

#include "metrics/relay_counters.h"

#include <core/events_loop.h>
#include <core/periodic_timer.h>

#include <chrono>
#include <cstdint>

namespace zel {

// Gives back to the system the memory the relay no longer holds once a burst is over, so that a
// burst does not leave the relay at its peak until the next one: a stalled subscriber's queue of
// large frames is hundreds of MiB, which the allocator would otherwise keep.
//
// Frames from max_kept_frame_size up are mapped on their own and unmapped when freed (glibc's
// own threshold rises to 32 MiB once such a block is freed, after which a burst of 1 MiB frames
// stays in its heaps). Smaller blocks freed in the heaps are handed back by malloc_trim at the
// first quiet check after the relay received something or lost a peer. Everything runs on the
// thread of _loop, which must outlive this object.
class memory_release {
public:
    static constexpr int max_kept_frame_size = 128 * 1024;
    static constexpr std::chrono::seconds check_period{1};
    // Below this much received in a period, a period is quiet: the trim would not hand back
    // what the next frames ask for again at once.
    static constexpr std::uint64_t quiet_bytes_per_period = 1024 * 1024;

    memory_release(libs::core::events_loop& _loop, const relay_counters& _counters);

private:
    void check();

    const relay_counters& m_counters;
    std::uint64_t m_received_at_check = 0;
    std::uint64_t m_received_at_trim = 0;
    std::int64_t m_peers_at_trim = 0;
    libs::core::periodic_timer::ptr m_timer;
};

}  // namespace zel
