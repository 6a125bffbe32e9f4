#pragma once

#include "scratch_dir.h"

#include <zmq.hpp>

#include <cstdint>
#include <ostream>

namespace relay_bench {

// Sends _frames frames of 64 B, then of 1 KiB, through vandrel over tcp as fast as it takes
// them, sampling its resident memory every second, and prints the samples. Returns whether
// the memory stayed flat after the first second and under 32 MiB throughout, both times.
bool run_sustained(std::ostream& _out, std::uint64_t _frames, zmq::context_t& _context,
                   const scratch_dir& _dir);

}  // namespace relay_bench
