#include "command_line.h"

#include <core/constants.h>

#include <getopt.h>

namespace zel {

namespace {

std::string usage(const std::string& _program) {
    return "Usage: " + _program +
           " -c config_file\n"
           "Republishes every frame its input receives on its output, until SIGINT or SIGTERM.\n"
           "  -c config_file  the JSON document naming both endpoints:\n"
           "                  {\"system\": {\"input_address\": ..., \"output_address\": ...}}\n"
           "  -h, --help      print this help and exit\n"
           "  --generate-keys PREFIX\n"
           "                  write a CURVE key pair, PREFIX.key (mode 0600) and PREFIX.pub, and\n"
           "                  exit; the configuration's system.curve then names them\n"
           "  -V, --version   print the version and exit\n";
}

}  // namespace

early_request requested_before_start(int argc, char** argv) {
    const option long_options[] = {{"help", no_argument, nullptr, 'h'},
                                   {"version", no_argument, nullptr, 'V'},
                                   {"generate-keys", required_argument, nullptr, 'g'},
                                   {nullptr, 0, nullptr, 0}};
    // Silent, and from the start: the command line is read again to run the relay, which
    // reports what is wrong with it then.
    opterr = 0;
    optind = 0;
    early_request request;
    std::string& information = request.information;
    while (information.empty()) {
        const int option = getopt_long(argc, argv, "c:hV", long_options, nullptr);
        if (option == -1) {
            break;
        }
        if (option == 'h') {
            information = usage(
                argc > 0 && argv[0] != nullptr ? argv[0] : libs::core::constants::project_name);
        } else if (option == 'g') {
            request.key_prefix = optarg;
        } else if (option == 'V') {
            information = libs::core::constants::project_name + " " +
                          libs::core::constants::git_version + "\n";
        }
    }
    opterr = 1;
    return request;
}

}  // namespace zel
