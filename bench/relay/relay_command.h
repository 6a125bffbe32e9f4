#pragma once

#include "endpoints.h"
#include "scratch_dir.h"

#include <string>
#include <vector>

namespace relay_bench {

enum class relay_kind { vandrel, zmq_proxy, vandrel_curve };

const char* relay_name(relay_kind _kind);

// The command line that starts _kind on _endpoints, for the run numbered _run. vandrel reads
// its endpoints from a configuration file, written into _dir, with its counters and history
// where _endpoints has their addresses; with CURVE, its keys and its clients directory are there
// too (see curve_keys.h).
std::vector<std::string> relay_command(relay_kind _kind, const endpoints& _endpoints,
                                       const scratch_dir& _dir, int _run);

}  // namespace relay_bench
