#pragma once

#include <string>

namespace zel {
namespace libs {
namespace core {
namespace constants {

// Fixed at build time (generated/version.cpp.in).
extern const std::string git_version;
extern const std::string git_subversion;
extern const std::string library_name;
extern const std::string project_name;
// The directory the library's own file names are cut from, without a trailing separator; empty
// when they are compiled as paths from the top of the tree already.
extern const std::string source_directory;

}  // namespace constants
}  // namespace core
}  // namespace libs
}  // namespace zel
