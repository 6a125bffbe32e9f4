#pragma once

#include <string>

namespace zel {

// Writes a new key pair, _prefix + ".key" (mode 0600) and _prefix + ".pub", and says so on
// standard output; returns the exit status: 0, or 1 when either file cannot be written (said on
// standard error, naming it), as an existing one is never replaced.
int generate_keys(const std::string& _prefix);

}  // namespace zel
