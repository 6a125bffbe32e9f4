#include <core/impl/logger/compiled_format.h>

#include <algorithm>

namespace zel {
namespace libs {
namespace core {

compiled_format::compiled_format(boost::string_view _format) : m_source(_format) {
    std::size_t text_start = 0;
    std::size_t position = 0;
    while (m_covered && position < m_source.size()) {
        if (m_source[position] != '%') {
            ++position;
            continue;
        }
        add_text(text_start, position - text_start);
        if (position + 1 < m_source.size() && m_source[position + 1] == '%') {
            add_text(position, 1);
            position += 2;
        } else {
            m_covered = read_placeholder(position);
        }
        text_start = position;
    }
    add_text(text_start, position - text_start);
}

// "%N%" with N from 1 to record_arguments::max_count, no leading zero (a flag
// to Boost.Format).
bool compiled_format::read_placeholder(std::size_t& _position) {
    std::size_t end = _position + 1;
    std::size_t number = 0;
    while (end < m_source.size() && m_source[end] >= '0' && m_source[end] <= '9' &&
           number <= record_arguments::max_count) {
        number = number * 10 + static_cast<std::size_t>(m_source[end] - '0');
        ++end;
    }
    if (end == _position + 1 || m_source[_position + 1] == '0' || end == m_source.size() ||
        m_source[end] != '%' || number > record_arguments::max_count) {
        return false;
    }
    m_pieces.push_back({0, 0, static_cast<int>(number - 1)});
    m_expected = std::max(m_expected, number);
    _position = end + 1;
    return true;
}

std::size_t compiled_format::footprint() const {
    return sizeof(compiled_format) + m_source.capacity() + m_pieces.capacity() * sizeof(piece);
}

void compiled_format::add_text(std::size_t _offset, std::size_t _size) {
    if (_size != 0) {
        m_pieces.push_back(
            {static_cast<std::uint32_t>(_offset), static_cast<std::uint32_t>(_size), -1});
    }
}

void compiled_format::render(const record_arguments& _arguments, record_text& _out) const {
    if (_arguments.count() == 0 && m_expected > 0) {
        _out.append(m_source);
        return;
    }
    for (const piece& piece : m_pieces) {
        boost::string_view part;
        if (piece.m_argument < 0) {
            part = boost::string_view(m_source.data() + piece.m_offset, piece.m_size);
        } else if (static_cast<std::size_t>(piece.m_argument) < _arguments.count()) {
            part = _arguments[static_cast<std::size_t>(piece.m_argument)];
        }
        _out.append(part);
    }
}

}  // namespace core
}  // namespace libs
}  // namespace zel
