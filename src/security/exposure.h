#pragma once

#include <core/logger.h>

#include <string>

namespace zel {

// Whether anyone beyond this host may reach _endpoint, SCHEME://HOST:PORT as bound (an ipc:// path
// is guarded by the file's permissions instead; an address that cannot be read counts as reached).
bool reachable_from_other_hosts(const std::string& _endpoint);

// Logs a warning when _endpoint can be reached from other hosts: that anyone who reaches the
// _side can _what, and how to restrict it.
void warn_if_exposed(const libs::core::logger& _logger, const std::string& _side,
                     const std::string& _endpoint, const std::string& _what);

}  // namespace zel
