#include "options.h"

#include "frame_header.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>

namespace relay_bench {
namespace {

const char* const usage =
    "usage: relay_bench [--quick] [--sustained] [--curve] [--repetitions N]\n"
    "                   [--transport tcp|ipc] [--size BYTES] [--metrics]\n"
    "                   [--history off|idle|following] [--flood N]\n"
    "  --quick        shorter windows and 3 repetitions: a smoke run\n"
    "  --sustained    10 million frames of 64 B and of 1 KiB through vandrel over tcp,\n"
    "                 sampling its resident memory every second\n"
    "  --curve        vandrel with CURVE keys against vandrel without, over tcp at 64 B and\n"
    "                 1 KiB, and the handshakes each completes per second\n"
    "  --repetitions  interleaved repetitions of each comparison (default 5)\n"
    "  --transport    compare over this transport only\n"
    "  --size         compare with frames of this size only (at least 24 bytes)\n"
    "  --metrics      vandrel serves its counters, scraped every second throughout\n"
    "  --history      vandrel keeps a history (64 MiB) that nobody reads, or that a reader\n"
    "                 on the generator's core follows from its start\n"
    "  --flood        N clients with unknown keys handshake with vandrel CURVE as fast as it\n"
    "                 refuses them, beside 40,000 admitted frames/s of 64 B: what they lose\n";

int whole_number(const std::string& _text) {
    std::size_t used = 0;
    const int value = std::stoi(_text, &used);
    if (used != _text.size()) {
        throw std::invalid_argument(_text);
    }
    return value;
}

}  // namespace

const char* transport_name(transport _transport) {
    return _transport == transport::tcp ? "tcp" : "ipc";
}

options parse_options(int _argc, char** _argv) {
    options result;
    bool repetitions_given = false;
    try {
        for (int i = 1; i < _argc; ++i) {
            const std::string argument = _argv[i];
            const bool has_value = i + 1 < _argc;
            if (argument == "--quick") {
                result.quick = true;
            } else if (argument == "--metrics") {
                result.metrics = true;
            } else if (argument == "--sustained") {
                result.sustained = true;
            } else if (argument == "--curve") {
                result.curve = true;
                result.transports = {transport::tcp};
                result.frame_sizes = {64, 1024};
            } else if (argument == "--flood" && has_value) {
                result.flooders = whole_number(_argv[++i]);
                if (result.flooders < 1) {
                    throw std::invalid_argument("flood");
                }
            } else if (argument == "--repetitions" && has_value) {
                result.repetitions = whole_number(_argv[++i]);
                repetitions_given = true;
                if (result.repetitions < 1) {
                    throw std::invalid_argument("repetitions");
                }
            } else if (argument == "--transport" && has_value) {
                const std::string name = _argv[++i];
                if (name != "tcp" && name != "ipc") {
                    throw std::invalid_argument(name);
                }
                result.transports = {name == "tcp" ? transport::tcp : transport::ipc};
            } else if (argument == "--size" && has_value) {
                const int size = whole_number(_argv[++i]);
                // The smallest frame still holds the header the subscriber reads.
                if (size < int(sizeof(frame_header))) {
                    throw std::invalid_argument("size");
                }
                result.frame_sizes = {std::size_t(size)};
            } else if (argument == "--history" && has_value) {
                const std::string mode = _argv[++i];
                const char* const modes[] = {"off", "idle", "following"};
                const auto found = std::find(std::begin(modes), std::end(modes), mode);
                if (found == std::end(modes)) {
                    throw std::invalid_argument(mode);
                }
                result.history = history_mode(found - std::begin(modes));
            } else {
                throw std::invalid_argument(argument);
            }
        }
    } catch (const std::logic_error&) {
        throw std::invalid_argument(usage);
    }
    if (result.quick && !repetitions_given) {
        result.repetitions = 3;
    }
    return result;
}

}  // namespace relay_bench
