#pragma once

#include "endpoints.h"
#include "scratch_dir.h"

namespace relay_bench {

// Gives _endpoints the keys of the generator's clients, made once per _dir with the relay's pair
// (relay.key) and the clients directory (clients/) that admits them.
void add_curve_keys(endpoints& _endpoints, const scratch_dir& _dir);

}  // namespace relay_bench
