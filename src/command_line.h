#pragma once

#include <string>

namespace zel {

// The relay's exit statuses: a usage error can only be mended by whoever wrote the command line,
// while any other failure to start (a configuration, a busy port) may pass, and is worth a
// restart.
namespace exit_status {
constexpr int success = 0;
constexpr int failure = 1;
constexpr int usage = 2;
}  // namespace exit_status

// What the relay's command line asks for.
struct command_line {
    enum class action { run, check, print, generate_keys, usage_error };

    action what = action::run;
    // For run and check: the configuration file to read.
    std::string config_file;
    // For generate_keys: the key pair's files are this and ".key" or ".pub".
    std::string key_prefix;
    // For print: the usage or the version, for standard output; for usage_error: what is wrong,
    // with the usage.
    std::string text;
};

// getopt prints its own diagnostic for an unknown option or a missing value. The last -c wins;
// -h or -V asks for text to print, and --generate-keys for a key pair, whatever follows.
command_line read_command_line(int argc, char** argv);

}  // namespace zel
