#pragma once

#include <cstdint>
#include <string>

namespace zel {

// What the relay has published since it started. The loop's thread alone updates and reads it:
// plain counters, which cost the path of every frame no more than two additions.
struct relay_counters {
    std::uint64_t frames = 0;
    std::uint64_t bytes = 0;

    // The count of frames comes first, for whoever reads the status line.
    std::string status() const {
        return std::to_string(frames) + " frames relayed, " + std::to_string(bytes) + " bytes";
    }
};

}  // namespace zel
