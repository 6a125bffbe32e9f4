#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace zel {

// The relay's configuration: where its sockets bind, and what its history may hold.
struct config {
    // Throws when the document cannot be read, lacks either endpoint or holds a known member of
    // the wrong type or form (an address ZeroMQ or the metrics endpoint cannot bind, a history
    // beyond the machine's memory and swap); every such problem is named in one message, which
    // names _file_name.
    config(std::istream& _stream, const std::string& _file_name);
    // The same from the file at _path, and what the start reads before it binds: the key file
    // and the clients directory of system.curve. A failure to read or parse the file, a file
    // above max_file_bytes (read no further), or a key file or directory that cannot be read
    // throws naming the file.
    static config read(const std::string& _path);

    // Where the relay's key pair and the keys of the clients it admits are.
    struct curve_settings {
        std::string secret_key_file;
        std::string clients_directory;
    };

    struct {
        std::string input_address;
        std::string output_address;
        // Where the counters are served over HTTP, HOST:PORT; empty serves none.
        std::string metrics_address;
        // Empty: no history is kept or served.
        std::string history_address;
        std::size_t history_bytes = default_history_bytes;
        // Present, every endpoint is a CURVE server; absent, they all take plain text.
        std::optional<curve_settings> curve;
    } system;
    // One per member of "system" the relay does not know, naming it and the file: read, and
    // ignored; and one per member given twice, by its path: the last one counts.
    std::vector<std::string> warnings;

    static constexpr std::size_t default_history_bytes = 64 * 1024 * 1024;
    static constexpr std::size_t max_file_bytes = 16 * 1024 * 1024;
};

}  // namespace zel
