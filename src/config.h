#pragma once

#include <istream>
#include <string>
#include <vector>

namespace zel {

// The relay's configuration: where its sockets bind.
struct config {
    // Throws when the document cannot be read, lacks either endpoint or holds a known member of
    // the wrong type; every such problem is named in one message, which names _file_name.
    config(std::istream& _stream, const std::string& _file_name);
    // The same from the file at _path; a failure to read or parse it names the file.
    static config read(const std::string& _path);

    struct {
        std::string input_address;
        std::string output_address;
        // Where the counters are served over HTTP, HOST:PORT; empty serves none.
        std::string metrics_address;
    } system;
    // One per member of "system" the relay does not know, naming it and the file: read, and
    // ignored.
    std::vector<std::string> warnings;
};

}  // namespace zel
