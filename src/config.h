#pragma once

#include <istream>
#include <optional>
#include <string>

namespace zel {

// The relay's configuration: where its two sockets bind.
struct config {
    // Throws when the document cannot be read or lacks either endpoint; every
    // missing or mistyped key is named in one message.
    explicit config(std::istream& _stream);
    // The same from the file at _path; a failure to read or parse it names the file.
    static config read(const std::string& _path);

    // Where the relay's key pair and the keys of the clients it admits are.
    struct curve_settings {
        std::string secret_key_file;
        std::string clients_directory;
    };

    struct {
        std::string input_address;
        std::string output_address;
        // Present, every endpoint is a CURVE server; absent, they all take plain text.
        std::optional<curve_settings> curve;
    } system;
};

}  // namespace zel
