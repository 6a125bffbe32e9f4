#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

namespace zel {
namespace libs {
namespace core {
namespace curve {

// The public keys of the clients a server admits: one per .pub file of a directory; other files
// are ignored, so that a key is withdrawn by renaming its file as well as by removing it.
class allow_list {
public:
    // Throws exception naming the directory when it cannot be listed. A .pub file that cannot be
    // read or holds no key (or is not a file) is left out and told in skipped(): one bad file
    // must not shut out the clients of all the others.
    static allow_list read(const std::string& _directory);

    // _key is the binary form (32 bytes) that ZAP requests carry.
    bool admits(const std::string& _key) const { return m_keys.count(_key) != 0; }
    std::size_t size() const { return m_keys.size(); }
    // Why each file left out was, a line a file, naming it.
    const std::vector<std::string>& skipped() const { return m_skipped; }

private:
    std::unordered_set<std::string> m_keys;
    std::vector<std::string> m_skipped;
};

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
