#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zel {
namespace tail {

// The output address etc/vandrel.json ships with.
inline constexpr const char* default_endpoint = "tcp://127.0.0.1:5556";

// The history address etc/vandrel.json ships with.
inline constexpr const char* default_history_endpoint = "tcp://127.0.0.1:5557";

struct options {
    std::string endpoint = default_endpoint;
    // The endpoint is the relay's history (-H) rather than its output (-a).
    bool history = false;
    // The last records of the history to print first (-n); none: only what comes.
    std::uint64_t last = 0;
    // Whether to go on after those (not --no-follow).
    bool follow = true;
    // Stop after this many frames (-m); none runs until a signal.
    std::optional<std::uint64_t> count;
    // Distinct, in the order given; empty prints every frame.
    std::vector<std::string> prefixes;
    // Says on standard error when the relay is reached and lost.
    bool verbose = false;
    // Both or neither: the relay's public key file, and the prefix of the tool's own key pair
    // (PREFIX.key) for a relay that admits only the clients it knows.
    std::string server_key_file;
    std::string key_prefix;
};

// What the command line asks for.
struct command_line {
    enum class action { run, help, version, usage_error };

    action what = action::run;
    options settings;
    // Why the command line was refused, for usage_error.
    std::string error;
};

// _args are the arguments after the program name. Options may come anywhere until "--", after
// which every argument is a prefix, even one that begins with '-'.
command_line parse_command_line(const std::vector<std::string>& _args);

// The one-line synopsis.
std::string usage();
// The synopsis and what each option does.
std::string help();

}  // namespace tail
}  // namespace zel
