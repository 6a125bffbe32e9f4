#pragma once

#include <boost/utility/string_view.hpp>

#include <string>

namespace zel {
namespace libs {
namespace core {

// Appends _bytes to _text spelled so that no byte can act on a terminal or cut a log record, and
// the bytes take exactly one line: printable ASCII as is, but a backslash doubled so that "\x41"
// read back is unambiguous, and every other byte as \xNN in lowercase hex.
void append_escaped(std::string& _text, boost::string_view _bytes);

// The same, except that a well-formed UTF-8 sequence stays as it is, so that text in any script
// reads as written; the C1 controls (U+0080 to U+009F), which some terminals obey, are escaped
// like any byte of an ill-formed sequence.
void append_escaped_keeping_utf8(std::string& _text, boost::string_view _bytes);

}  // namespace core
}  // namespace libs
}  // namespace zel
