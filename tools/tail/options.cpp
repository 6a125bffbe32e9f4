#include "options.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <utility>

namespace zel {
namespace tail {
namespace {

// The letter of an option that takes a value, 0 for any other.
char option_letter(const std::string& _name) {
    if (_name == "--history") {
        return 'H';
    }
    if (_name == "--max-count") {
        return 'm';
    }
    if (_name == "-a" || _name == "-H" || _name == "-n" || _name == "-m") {
        return _name[1];
    }
    return 0;
}

// Only decimal digits: strtoull would take a sign, blanks and "0x".
std::optional<std::uint64_t> parse_number(const std::string& _text) {
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
    bool asked_for_history = false;
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
        if (arg == "--no-follow") {
            result.settings.follow = false;
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
        // Both "-n 5" and "-n5", "--max-count 5" and "--max-count=5", as getopt takes them.
        const auto equals = arg.find('=');
        const std::string name = arg.substr(0, arg.rfind("--", 0) == 0 ? equals : 2);
        const char option = option_letter(name);
        if (option == 0) {
            return refuse("unknown option '" + arg + "'");
        }
        std::string value;
        if (arg.size() > name.size()) {
            value = arg.substr(name.size() + (name.size() > 2 ? 1 : 0));
        } else if (i + 1 < _args.size()) {
            value = _args[++i];
        } else {
            return refuse("option " + name + " needs an argument");
        }
        if (option == 'a' || option == 'H') {
            result.settings.endpoint = value;
            result.settings.history = option == 'H';
            continue;
        }
        const auto number = parse_number(value);
        if (!number || (option == 'm' && *number == 0)) {
            return refuse(name + (option == 'm' ? " needs a positive" : " needs a") +
                          " whole number, not '" + value + "'");
        }
        if (option == 'm') {
            result.settings.count = number;
        } else {
            result.settings.last = *number;
            asked_for_history = true;
        }
    }
    if (!result.settings.history && (asked_for_history || !result.settings.follow)) {
        return refuse("-n and --no-follow read the history: they need -H");
    }
    if (result.settings.server_key_file.empty() != result.settings.key_prefix.empty()) {
        return refuse("--server-key and --key go together");
    }
    return result;
}

std::string usage() {
    return "usage: vandrel-tail [-a ENDPOINT | -H ENDPOINT [-n N] [--no-follow]] [-m COUNT] [-v] "
           "[--server-key FILE.pub --key PREFIX] [PREFIX...]";
}

std::string help() {
    return usage() +
           "\n"
           "Prints each frame a vandrel relay publishes as one line, as it arrives.\n"
           "  -a ENDPOINT  the relay's output address (default " +
           default_endpoint +
           ")\n"
           "  -H, --history ENDPOINT\n"
           "               read the relay's history instead (shipped: " +
           default_history_endpoint +
           "):\n"
           "               nothing is printed twice or skipped across a reconnection or a\n"
           "               restart, and every gap is said on standard error\n"
           "  -n N         with -H: print the last N matching records first\n"
           "  --no-follow  with -H: exit once those are printed\n"
           "  -m, --max-count COUNT\n"
           "               exit after COUNT frames\n"
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
