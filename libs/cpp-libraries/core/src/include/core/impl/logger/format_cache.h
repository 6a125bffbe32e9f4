#pragma once

#include <core/impl/logger/compiled_format.h>

#include <boost/smart_ptr/intrusive_ptr.hpp>
#include <boost/utility/string_view.hpp>

#include <cstddef>
#include <list>
#include <unordered_map>
#include <utility>

namespace zel {
namespace libs {
namespace core {

// The formats a thread logged, read once each and found again by the address
// they live at (a literal's never changes, and the text is compared besides).
// Whatever formats the thread is given, what it keeps stays within max_formats
// and max_bytes (as compiled_format::footprint counts them, with the cache's
// own nodes), the least recently logged going first; a format longer than
// max_format_size is read for its record alone. A record holds the format it
// reads: an eviction, or another text at the same address, replaces the entry
// and leaves the record's own as it was.
class format_cache {
public:
    static constexpr std::size_t max_formats = 1024;
    static constexpr std::size_t max_bytes = 512 * 1024;
    static constexpr std::size_t max_format_size = 4096;

    using format_ptr = boost::intrusive_ptr<const compiled_format>;

    // The compiled form of _format from the calling thread's cache, or read
    // for the caller alone, to be held at once in a format_ptr; null when
    // _format holds another directive.
    static const compiled_format* find(boost::string_view _format);

private:
    using entries = std::list<std::pair<const char*, format_ptr>>;

    // Each entry's share of the nodes of the list and of the map.
    static constexpr std::size_t node_bytes = 96;

    const compiled_format* find_or_read(boost::string_view _format);
    void erase(entries::iterator _entry);

    // The most recently logged first.
    entries m_entries;
    std::unordered_map<const char*, entries::iterator> m_by_address;
    std::size_t m_bytes = 0;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
