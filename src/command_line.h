#pragma once

#include <string>

namespace zel {

// What the relay prints on standard output instead of running, when its command line asks: the
// usage for -h or --help, the version for -V or --version; empty otherwise.
std::string requested_information(int argc, char** argv);

}  // namespace zel
