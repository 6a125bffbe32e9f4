#include "command_line.h"

#include <core/constants.h>

#include <getopt.h>

namespace zel {

namespace {

std::string synopsis(const std::string& _program) {
    return "Usage: " + _program + " [-t] -c config_file";
}

std::string help(const std::string& _program) {
    return synopsis(_program) +
           "\n"
           "Republishes every frame its input receives on its output, until SIGINT or SIGTERM;\n"
           "SIGHUP reloads what can be reloaded.\n"
           "  -c config_file  the JSON document naming both endpoints:\n"
           "                  {\"system\": {\"input_address\": ..., \"output_address\": ...}}\n"
           "  -t              check the configuration and exit: 0 when valid, 1 when not\n"
           "  -h, --help      print this help and exit\n"
           "  --generate-keys PREFIX\n"
           "                  write a CURVE key pair, PREFIX.key (mode 0600) and PREFIX.pub, and\n"
           "                  exit; the configuration's system.curve then names them\n"
           "  -V, --version   print the version and exit\n"
           "Exit status: 0 when a signal stops it, 1 when it cannot start, 2 for a usage error.\n";
}

command_line answer(command_line::action _what, std::string _text) {
    command_line result;
    result.what = _what;
    result.text = std::move(_text);
    return result;
}

}  // namespace

command_line read_command_line(int argc, char** argv) {
    const option long_options[] = {{"help", no_argument, nullptr, 'h'},
                                   {"version", no_argument, nullptr, 'V'},
                                   {"generate-keys", required_argument, nullptr, 'g'},
                                   {nullptr, 0, nullptr, 0}};
    // execve allows an empty argument list, which leaves no program path to show.
    const std::string program =
        argc > 0 && argv[0] != nullptr ? argv[0] : libs::core::constants::project_name;
    // A GNU extension: 0 restarts the parser and its internal state, in case it has run before.
    optind = 0;
    command_line result;
    for (;;) {
        const int option = getopt_long(argc, argv, "c:thV", long_options, nullptr);
        switch (option) {
            case -1:
                if (result.config_file.empty()) {
                    return answer(command_line::action::usage_error,
                                  "The configuration file is not defined! " + synopsis(program));
                }
                return result;
            case 'c':
                result.config_file = optarg;
                break;
            case 't':
                result.what = command_line::action::check;
                break;
            case 'g': {
                command_line keys = answer(command_line::action::generate_keys, "");
                keys.key_prefix = optarg;
                return keys;
            }
            case 'h':
                return answer(command_line::action::print, help(program));
            case 'V':
                return answer(command_line::action::print,
                              libs::core::constants::project_name + " " +
                                  libs::core::constants::git_version + "\n");
            default:
                return answer(command_line::action::usage_error, synopsis(program));
        }
    }
}

}  // namespace zel
