#include "history/history.h"

#include <cstring>
#include <stdexcept>
#include <string>

namespace zel {

// The kind in the low bits of the second word, the previous record's size above them.
struct history::header {
    std::uint32_t size;
    std::uint32_t kind_and_previous;

    history::kind what() const { return static_cast<history::kind>(kind_and_previous & 3); }
    std::size_t previous() const { return kind_and_previous >> 2; }
};

history::history(std::size_t _bytes) : m_capacity(_bytes), m_ring(new char[_bytes]) {
    static_assert(sizeof(header) == header_size);
    static_assert(max_record_size <= UINT32_MAX >> 2);
    // The ring is not cleared: a page the history has not reached yet costs no memory.
    if (_bytes < min_bytes) {
        throw std::invalid_argument("a history needs at least " + std::to_string(min_bytes) +
                                    " bytes");
    }
}

void history::append(const void* _data, std::size_t _size) {
    const bool fits = _size <= m_capacity - header_size && _size <= max_record_size;
    const std::size_t body = fits ? _size : 0;
    const std::size_t previous = m_oldest == m_next ? 0 : read_header(m_newest).size;
    const std::size_t offset = place(header_size + body);
    write_header(offset, fits ? kind::frame : kind::too_large, body, previous);
    if (body != 0) {
        std::memcpy(m_ring.get() + offset + header_size, _data, body);
    }
    m_newest = offset;
    m_tail = offset + header_size + body;
    ++m_next;
    if (m_watched) {
        m_watched = false;
        if (m_on_append) {
            m_on_append();
        }
    }
}

std::uint64_t history::catch_up(cursor& _cursor) const {
    if (_cursor.sequence >= m_oldest) {
        return 0;
    }
    const std::uint64_t lost = m_oldest - _cursor.sequence;
    _cursor = oldest();
    return lost;
}

bool history::read(cursor& _cursor, record& _record) const {
    if (_cursor.sequence >= m_next) {
        return false;
    }
    const std::size_t at = header_at(_cursor.offset);
    const header found = read_header(at);
    _record = {found.what(), m_ring.get() + at + header_size, found.size};
    _cursor = {_cursor.sequence + 1, at + header_size + found.size};
    return true;
}

// The record before one at the beginning ends where the last wrap was: no held record lies
// between them.
bool history::read_back(cursor& _cursor, record& _record) const {
    if (_cursor.sequence <= m_oldest || _cursor.sequence > m_next) {
        return false;
    }
    std::size_t at = m_newest;
    if (_cursor.sequence != m_next) {
        const std::size_t after = header_at(_cursor.offset);
        at = (after == 0 ? m_wrap_end : after) - header_size - read_header(after).previous();
    }
    const header found = read_header(at);
    _record = {found.what(), m_ring.get() + at + header_size, found.size};
    _cursor = {_cursor.sequence - 1, at};
    return true;
}

// A header too close to the end to fit, or a wrap mark, sends the reader to the beginning.
std::size_t history::header_at(std::size_t _offset) const {
    if (m_capacity - _offset < header_size) {
        return 0;
    }
    return read_header(_offset).what() == kind::wrap ? 0 : _offset;
}

history::header history::read_header(std::size_t _offset) const {
    header found;
    std::memcpy(&found, m_ring.get() + _offset, header_size);
    return found;
}

// Where a record of _slot bytes goes, contiguous: after the newest one, or at the beginning,
// dropping the oldest records until there is room.
std::size_t history::place(std::size_t _slot) {
    for (;;) {
        if (m_oldest == m_next) {
            if (m_capacity - m_tail < _slot) {
                wrap();
            }
            m_head = m_tail;
            return m_tail;
        }
        if (m_head < m_tail) {
            if (m_capacity - m_tail >= _slot) {
                return m_tail;
            }
            if (m_head >= _slot) {
                wrap();
                return 0;
            }
        } else if (m_head - m_tail >= _slot) {
            return m_tail;
        }
        drop_oldest();
    }
}

void history::wrap() {
    if (m_capacity - m_tail >= header_size) {
        write_header(m_tail, kind::wrap, 0, 0);
    }
    m_wrap_end = m_tail;
    m_tail = 0;
}

void history::drop_oldest() {
    cursor position = oldest();
    record dropped;
    read(position, dropped);
    m_oldest = position.sequence;
    m_head = m_oldest == m_next ? position.offset : header_at(position.offset);
}

void history::write_header(std::size_t _offset, kind _kind, std::size_t _size,
                           std::size_t _previous) {
    const header written{
        static_cast<std::uint32_t>(_size),
        static_cast<std::uint32_t>(_previous << 2 | static_cast<std::uint32_t>(_kind))};
    std::memcpy(m_ring.get() + _offset, &written, header_size);
}

}  // namespace zel
