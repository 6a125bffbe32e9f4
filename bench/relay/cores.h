#pragma once

namespace relay_bench {

// The harness and its load run on one core, the relay under test on the other, so that the
// relay's CPU time is its own and the two never wait for each other's time slice.
constexpr int generator_core = 0;
constexpr int relay_core = 1;

}  // namespace relay_bench
