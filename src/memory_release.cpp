#include "memory_release.h"

#include <core/source_location.h>

#include <malloc.h>

namespace zel {

memory_release::memory_release(libs::core::events_loop& _loop, const relay_counters& _counters)
    : m_counters(_counters) {
    mallopt(M_MMAP_THRESHOLD, max_kept_frame_size);
    m_timer = _loop.create_periodic_timer(
        check_period, "memory release", [this](libs::core::timer::time_point) { check(); },
        ZEL_LOCATION);
}

void memory_release::check() {
    const auto received = m_counters.bytes_received;
    const auto peers = m_counters.producers + m_counters.subscribers;
    const bool quiet = received - m_received_at_check < quiet_bytes_per_period;
    m_received_at_check = received;
    if (quiet && (received != m_received_at_trim || peers < m_peers_at_trim)) {
        malloc_trim(0);
        m_received_at_trim = received;
    }
    // A peer that comes is no reason to trim; one that goes, from the count it left, is.
    m_peers_at_trim = peers;
}

}  // namespace zel
