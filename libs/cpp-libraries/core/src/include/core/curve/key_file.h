#pragma once

#include <string>

namespace zel {
namespace libs {
namespace core {
namespace curve {

// The one key a key file holds: a line of 40 Z85 characters, among empty lines and comment lines
// that start with '#' (and are not a key, as '#' is a Z85 digit). Throws exception naming _path
// when the file cannot be read, holds no key or more than one, or the key is not Z85; a file above
// 4 KiB is refused unread.
std::string read_key_file(const std::string& _path);

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
