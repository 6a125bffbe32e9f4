#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>

namespace zel {
namespace libs {
namespace core {
namespace curve {

// The public keys of the clients a server admits: one per .pub file of a directory; other files
// are ignored, so that a key is withdrawn by renaming its file as well as by removing it.
class allow_list {
public:
    // Throws exception naming the directory when it cannot be listed, or the file whose key is
    // missing or malformed: a list with a key silently left out would refuse a client for no
    // reason the log gives.
    static allow_list read(const std::string& _directory);

    // _key is the binary form (32 bytes) that ZAP requests carry.
    bool admits(const std::string& _key) const { return m_keys.count(_key) != 0; }
    std::size_t size() const { return m_keys.size(); }

private:
    std::unordered_set<std::string> m_keys;
};

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
