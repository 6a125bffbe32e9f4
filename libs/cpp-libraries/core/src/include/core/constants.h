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
// Absolute path of the top source directory, without a trailing separator.
extern const std::string source_directory;

}  // namespace constants
}  // namespace core
}  // namespace libs
}  // namespace zel
