#include <core/impl/logger/format_cache.h>

#include <iterator>
#include <memory>

namespace zel {
namespace libs {
namespace core {
namespace {

// The flag outlives the cache, which a record logged while the thread's
// objects are destroyed may find gone.
thread_local bool cache_destroyed = false;

struct thread_cache {
    ~thread_cache() { cache_destroyed = true; }
    format_cache m_cache;
};

const compiled_format* covered_only(const compiled_format* _format) {
    return _format->is_covered() ? _format : nullptr;
}

}  // namespace

const compiled_format* format_cache::find(boost::string_view _format) {
    if (cache_destroyed || _format.size() > max_format_size) {
        auto format = std::make_unique<compiled_format>(_format);
        return format->is_covered() ? format.release() : nullptr;
    }
    thread_local thread_cache cache;
    return cache.m_cache.find_or_read(_format);
}

const compiled_format* format_cache::find_or_read(boost::string_view _format) {
    const auto found = m_by_address.find(_format.data());
    if (found != m_by_address.end()) {
        const entries::iterator entry = found->second;
        if (entry->second->source() == _format) {
            m_entries.splice(m_entries.begin(), m_entries, entry);
            return covered_only(entry->second.get());
        }
        erase(entry);
    }
    m_entries.emplace_front(_format.data(), new compiled_format(_format));
    const compiled_format* const format = m_entries.front().second.get();
    m_by_address.emplace(_format.data(), m_entries.begin());
    m_bytes += format->footprint() + node_bytes;
    while (m_by_address.size() > max_formats || m_bytes > max_bytes) {
        erase(std::prev(m_entries.end()));
    }
    return covered_only(format);
}

void format_cache::erase(entries::iterator _entry) {
    m_bytes -= _entry->second->footprint() + node_bytes;
    m_by_address.erase(_entry->first);
    m_entries.erase(_entry);
}

}  // namespace core
}  // namespace libs
}  // namespace zel
