#include <core/record_arguments.h>

#include <charconv>
#include <cstring>

namespace zel {
namespace libs {
namespace core {

boost::string_view record_arguments::operator[](std::size_t _index) const {
    const std::size_t begin = _index == 0 ? 0 : m_ends[_index - 1];
    return {m_text.data() + begin, m_ends[_index] - begin};
}

void record_arguments::add(long long _value) {
    char* const start = extend(24);
    if (start != nullptr) {
        finish(std::to_chars(start, start + 24, _value).ptr);
    }
}

void record_arguments::add(unsigned long long _value) {
    char* const start = extend(24);
    if (start != nullptr) {
        finish(std::to_chars(start, start + 24, _value).ptr);
    }
}

void record_arguments::add(const char* _value) {
    if (_value == nullptr) {
        // What the stream makes of it: nothing printed.
        add_text(_value, 0);
    } else {
        add_text(_value, std::strlen(_value));
    }
}

void record_arguments::add_text(const char* _data, std::size_t _size) {
    char* const start = extend(_size);
    if (start != nullptr) {
        if (_size != 0) {
            std::memcpy(start, _data, _size);
        }
        finish(start + _size);
    }
}

char* record_arguments::extend(std::size_t _size) {
    if (m_count == max_count) {
        return nullptr;
    }
    const std::size_t begin = m_text.size();
    m_text.resize(begin + _size, boost::container::default_init);
    return m_text.data() + begin;
}

void record_arguments::finish(char* _end) {
    const auto size = static_cast<std::size_t>(_end - m_text.data());
    m_text.resize(size);
    m_ends[m_count++] = static_cast<std::uint32_t>(size);
}

}  // namespace core
}  // namespace libs
}  // namespace zel
