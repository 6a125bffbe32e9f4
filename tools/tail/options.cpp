#include "options.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <utility>

namespace zel {
namespace tail {
namespace {

// Only decimal digits: strtoull would take a sign, blanks and "0x".
std::optional<std::uint64_t> parse_positive(const std::string& _text) {
    if (_text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char character : _text) {
        if (character < '0' || character > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(character - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    if (value == 0) {
        return std::nullopt;
    }
    return value;
}

command_line refuse(std::string _error) {
    command_line result;
    result.what = command_line::action::usage_error;
    result.error = std::move(_error);
    return result;
}

void add_prefix(options& _settings, const std::string& _prefix) {
    // The same topic subscribed twice would have its frames printed twice.
    auto& prefixes = _settings.prefixes;
    if (std::find(prefixes.begin(), prefixes.end(), _prefix) == prefixes.end()) {
        prefixes.push_back(_prefix);
    }
}

}  // namespace

command_line parse_command_line(const std::vector<std::string>& _args) {
    command_line result;
    bool options_ended = false;
    for (std::size_t i = 0; i < _args.size(); ++i) {
        const std::string& arg = _args[i];
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            add_prefix(result.settings, arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            result.what = command_line::action::help;
            return result;
        }
        if (arg == "--version") {
            result.what = command_line::action::version;
            return result;
        }
        if (arg == "-v") {
            result.settings.verbose = true;
            continue;
        }
        if (arg == "--server-key" || arg == "--key") {
            if (i + 1 == _args.size()) {
                return refuse("option " + arg + " needs an argument");
            }
            (arg == "--key" ? result.settings.key_prefix : result.settings.server_key_file) =
                _args[++i];
            continue;
        }
        const char option = arg[1];
        if (option != 'a' && option != 'n') {
            return refuse("unknown option '" + arg + "'");
        }
        // Both "-n 5" and "-n5", as getopt takes them.
        std::string value;
        if (arg.size() > 2) {
            value = arg.substr(2);
        } else if (i + 1 < _args.size()) {
            value = _args[++i];
        } else {
            return refuse(std::string("option -") + option + " needs an argument");
        }
        if (option == 'a') {
            result.settings.endpoint = value;
        } else {
            result.settings.count = parse_positive(value);
            if (!result.settings.count) {
                return refuse("-n needs a positive whole number, not '" + value + "'");
            }
        }
    }
    if (result.settings.server_key_file.empty() != result.settings.key_prefix.empty()) {
        return refuse("--server-key and --key go together");
    }
    return result;
}

std::string usage() {
    return "usage: vandrel-tail [-a ENDPOINT] [-n COUNT] [-v] [--server-key FILE.pub --key PREFIX] "
           "[PREFIX...]";
}

std::string help() {
    return usage() +
           "\n"
           "Prints each frame a vandrel relay publishes as one line, as it arrives.\n"
           "  -a ENDPOINT  the relay's output address (default " +
           default_endpoint +
           ")\n"
           "  -n COUNT     exit after COUNT frames\n"
           "  -v           say on standard error when the relay is reached and lost\n"
           "  --server-key FILE.pub  the relay's public key: connect with CURVE\n"
           "  --key PREFIX the tool's own pair: PREFIX.key (the relay lists PREFIX.pub)\n"
           "  -h, --help   print this help\n"
           "  --version    print the version\n"
           "  PREFIX       print only the frames that begin with one of the prefixes\n"
           "Text is printed as it is, in UTF-8; control bytes and bytes that are not\n"
           "well-formed UTF-8 are written \\xNN, and a backslash \\\\.\n";
}

}  // namespace tail
}  // namespace zel
