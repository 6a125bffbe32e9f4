#pragma once

#include <istream>
#include <string>

namespace zel {

// The relay's configuration: where its two sockets bind.
struct config {
    // Throws when the document cannot be read or lacks either endpoint; every
    // missing or mistyped key is named in one message.
    explicit config(std::istream& _stream);
    // The same from the file at _path; a failure to read or parse it names the file.
    static config read(const std::string& _path);

    struct {
        std::string input_address;
        std::string output_address;
    } system;
};

}  // namespace zel
