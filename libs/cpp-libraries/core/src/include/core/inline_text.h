#pragma once

#include <boost/utility/string_view.hpp>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <memory>

namespace zel {
namespace libs {
namespace core {

// Text that lives inside its owner up to Capacity bytes and on the heap beyond:
// most records are composed without allocating.
template <std::size_t Capacity>
class inline_text {
public:
    inline_text() = default;
    inline_text(const inline_text&) = delete;
    inline_text& operator=(const inline_text&) = delete;

    const char* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    boost::string_view view(std::size_t _start, std::size_t _end) const {
        return {m_data + _start, _end - _start};
    }

    void append(boost::string_view _text) {
        if (!_text.empty()) {
            std::memcpy(extend(_text.size()), _text.data(), _text.size());
        }
    }
    void append(std::size_t _count, char _character) {
        std::memset(extend(_count), _character, _count);
    }
    void push_back(char _character) { *extend(1) = _character; }
    // In decimal, as a stream prints it.
    template <class Integer>
    void append_number(Integer _number) {
        char* const start = extend(24);
        m_size = static_cast<std::size_t>(std::to_chars(start, start + 24, _number).ptr - m_data);
    }

private:
    // _size more bytes at the end, for the caller to write.
    char* extend(std::size_t _size) {
        if (m_size + _size > m_capacity) {
            grow(m_size + _size);
        }
        char* const start = m_data + m_size;
        m_size += _size;
        return start;
    }
    void grow(std::size_t _needed) {
        m_capacity = std::max(_needed, m_capacity * 2);
        auto bigger = std::make_unique<char[]>(m_capacity);
        std::memcpy(bigger.get(), m_data, m_size);
        m_heap = std::move(bigger);
        m_data = m_heap.get();
    }

    char m_inline[Capacity];
    char* m_data = m_inline;
    std::size_t m_size = 0;
    std::size_t m_capacity = Capacity;
    std::unique_ptr<char[]> m_heap;
};

// A record's text as it is composed.
using record_text = inline_text<512>;

}  // namespace core
}  // namespace libs
}  // namespace zel
