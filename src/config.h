#pragma once

#include <cstddef>
#include <istream>
#include <string>

namespace zel {

// The relay's configuration: where its sockets bind, and what its history may hold.
struct config {
    // Throws when the document cannot be read or lacks either endpoint; every
    // missing or mistyped key is named in one message.
    explicit config(std::istream& _stream);
    // The same from the file at _path; a failure to read or parse it names the file.
    static config read(const std::string& _path);

    struct {
        std::string input_address;
        std::string output_address;
        // Empty: no history is kept or served.
        std::string history_address;
        std::size_t history_bytes = default_history_bytes;
    } system;

    static constexpr std::size_t default_history_bytes = 64 * 1024 * 1024;
};

}  // namespace zel
