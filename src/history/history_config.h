#pragma once

#include <config/config.h>

#include <cstddef>
#include <string>

namespace zel {

// Reads the optional members history_address and history_bytes of _system, whose kinds are
// already checked, into _address and _bytes, which keep their values for a member that is absent.
// Returns what is wrong with the bound, when it is not from history::min_bytes to
// max_history_bytes; empty otherwise.
std::string read_history(const libs::config::dictionary& _system, std::string& _address,
                         std::size_t& _bytes);

// A bound the machine cannot have is a mistake rather than a wish.
constexpr double max_history_bytes = 1ull << 40;

}  // namespace zel
