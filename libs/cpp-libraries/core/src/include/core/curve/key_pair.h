#pragma once

#include <string>

namespace zel {
namespace libs {
namespace core {
namespace curve {

// A CURVE key pair, each key in Z85 (40 characters). On disk a pair is two files of one key
// each: PREFIX.pub, the public key anyone may read, and PREFIX.key, the secret key, readable by
// its owner only.
struct key_pair {
    std::string public_key;
    std::string secret_key;

    // Throws exception when libzmq has no CURVE support.
    static key_pair generate();
    // The secret key of _secret_key_file and the public key it implies: a public key file beside
    // it could not disagree with it. Throws as read_key_file does, and exception naming the file
    // when it is a .pub: a public key taken for a secret one makes a peer nobody can talk to.
    static key_pair read(const std::string& _secret_key_file);
    // The permissions of _secret_key_file, as "0644", when group or others may read it; empty
    // when only its owner may, or when it cannot be examined (read() then tells why).
    static std::string loose_permissions(const std::string& _secret_key_file);

    // Writes PREFIX.key (mode 0600) and PREFIX.pub; refuses to replace either, since a pair
    // overwritten shuts out every peer that trusts it. Throws exception naming the file.
    void write(const std::string& _prefix) const;
};

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
