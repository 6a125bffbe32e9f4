#pragma once

#include <core/curve/key_pair.h>

#include <string>

namespace zel {
namespace libs {
namespace core {
namespace curve {

// What a client of a CURVE server needs: the server's public key, which it checks the server
// against, and its own pair, which the server's allow-list admits or not.
struct client_keys {
    std::string server_public_key;
    key_pair own;

    // The server's key from _server_key_file (a .pub) and the pair whose secret key is
    // _key_prefix + ".key". Throws exception naming the file that is missing or malformed.
    static client_keys read(const std::string& _server_key_file, const std::string& _key_prefix);

    // Makes _socket (a libzmq socket handle, from azmq's native_handle() or cppzmq's handle())
    // a CURVE client for its next connections; call it before connecting. Throws exception when
    // libzmq refuses, so that no connection is ever made in plain text instead.
    void apply(void* _socket) const;
};

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
