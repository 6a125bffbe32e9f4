#pragma once

#include <config/config.h>

#include <cstddef>
#include <string>

namespace zel {

// Reads the optional members system.history_address and system.history_bytes of _document into
// _address and _bytes, which keep their values for a member that is absent. A member of the wrong
// kind, or a bound that is not a whole number of bytes from history::min_bytes to
// max_history_bytes, throws the library's exception naming it.
void read_history(const libs::config::config& _document, std::string& _address,
                  std::size_t& _bytes);

// A bound the machine cannot have is a mistake rather than a wish.
constexpr double max_history_bytes = 1ull << 40;

}  // namespace zel
