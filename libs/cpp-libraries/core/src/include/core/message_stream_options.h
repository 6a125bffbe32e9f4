#pragma once

#include <core/curve/client_keys.h>

#include <optional>

namespace zel {
namespace libs {
namespace core {

// How a stream reads its publisher, beyond the address.
struct message_stream_options {
    enum class frames { topics, raw };

    // Topic and JSON object frames, or raw frames.
    frames kind = frames::topics;
    // With keys, the stream connects as a CURVE client and the publisher authenticates it; it
    // never falls back to plain text.
    std::optional<curve::client_keys> keys;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
