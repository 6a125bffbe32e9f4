#pragma once

#include <optional>
#include <string>

namespace zel {

// What the relay does instead of running, when its command line asks.
struct early_request {
    // Printed on standard output: the usage for -h or --help, the version for -V or --version.
    std::string information;
    // --generate-keys PREFIX: a key pair written, PREFIX.key and PREFIX.pub.
    std::optional<std::string> key_prefix;
};

early_request requested_before_start(int argc, char** argv);

}  // namespace zel
