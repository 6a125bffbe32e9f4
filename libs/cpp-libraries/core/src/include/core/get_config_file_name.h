#pragma once

#include <core/constants.h>
#include <core/exception.h>

#include <unistd.h>

#include <string>

namespace zel {
namespace libs {
namespace core {

// The value of the last "-c" option of the command line. Throws when an option
// is unknown, "-c" has no value, or no configuration file is named; getopt
// prints its own diagnostic for the first two.
inline std::string get_config_file_name(int argc, char** argv) {
    // Restart the parser, so that a second reading of a command line starts at
    // its beginning rather than where the last one stopped.
    optind = 0;
    // execve allows an empty argument list, which leaves no program path to show.
    const std::string program = argc > 0 && argv[0] != nullptr ? argv[0] : constants::project_name;
    std::string result;
    for (;;) {
        const int option = getopt(argc, argv, "c:");
        if (option == -1) {
            break;
        }
        if (option != 'c') {
            throw exception("Usage: " + program + " -c config_file", ZEL_LOCATION);
        }
        result = optarg;
    }
    if (result.empty()) {
        throw exception(
            "The configuration file is not defined! Usage: " + program + " -c config_file",
            ZEL_LOCATION);
    }
    return result;
}

}  // namespace core
}  // namespace libs
}  // namespace zel
