#include "history/history.h"

#include <cstring>
#include <stdexcept>
#include <string>

namespace zel {

namespace {

struct header {
    std::uint32_t size;
    history::kind what;
};
static_assert(sizeof(header) == history::header_size);

}  // namespace

history::history(std::size_t _bytes) : m_capacity(_bytes), m_ring(new char[_bytes]) {
    // The ring is not cleared: a page the history has not reached yet costs no memory.
    if (_bytes < min_bytes) {
        throw std::invalid_argument("a history needs at least " + std::to_string(min_bytes) +
                                    " bytes");
    }
}

void history::append(const void* _data, std::size_t _size) {
    const bool fits = _size <= m_capacity - header_size;
    const std::size_t body = fits ? _size : 0;
    const std::size_t offset = place(header_size + body);
    write_header(offset, fits ? kind::frame : kind::too_large, body);
    if (body != 0) {
        std::memcpy(m_ring.get() + offset + header_size, _data, body);
    }
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
    header found;
    std::memcpy(&found, m_ring.get() + at, header_size);
    _record = {found.what, m_ring.get() + at + header_size, found.size};
    _cursor = {_cursor.sequence + 1, at + header_size + found.size};
    return true;
}

history::cursor history::seek(std::uint64_t _sequence) const {
    cursor position = oldest();
    record skipped;
    while (position.sequence < _sequence && read(position, skipped)) {
    }
    return position;
}

// A header too close to the end to fit, or a wrap mark, sends the reader to the beginning.
std::size_t history::header_at(std::size_t _offset) const {
    if (m_capacity - _offset < header_size) {
        return 0;
    }
    header found;
    std::memcpy(&found, m_ring.get() + _offset, header_size);
    return found.what == kind::wrap ? 0 : _offset;
}

// Where a record of _slot bytes goes, contiguous: after the newest one, or at the beginning,
// dropping the oldest records until there is room.
std::size_t history::place(std::size_t _slot) {
    for (;;) {
        if (m_oldest == m_next) {
            if (m_capacity - m_tail < _slot) {
                mark_wrap(m_tail);
                m_tail = 0;
            }
            m_head = m_tail;
            return m_tail;
        }
        if (m_head < m_tail) {
            if (m_capacity - m_tail >= _slot) {
                return m_tail;
            }
            if (m_head >= _slot) {
                mark_wrap(m_tail);
                m_tail = 0;
                return 0;
            }
        } else if (m_head - m_tail >= _slot) {
            return m_tail;
        }
        drop_oldest();
    }
}

void history::mark_wrap(std::size_t _offset) {
    if (m_capacity - _offset >= header_size) {
        write_header(_offset, kind::wrap, 0);
    }
}

void history::drop_oldest() {
    cursor position = oldest();
    record dropped;
    read(position, dropped);
    m_oldest = position.sequence;
    m_head = m_oldest == m_next ? position.offset : header_at(position.offset);
}

void history::write_header(std::size_t _offset, kind _kind, std::size_t _size) {
    const header written{static_cast<std::uint32_t>(_size), _kind};
    std::memcpy(m_ring.get() + _offset, &written, header_size);
}

}  // namespace zel
