#pragma once

#include <string>
#include <string_view>

namespace zel {
namespace tail {

// Appends _frame to _line spelled so that no byte can act on a terminal and the frame takes
// exactly one line: printable ASCII as is, but a backslash doubled so that "\x41" read back is
// unambiguous, and every other byte as \xNN in lowercase hex.
void append_escaped(std::string& _line, std::string_view _frame);

}  // namespace tail
}  // namespace zel
