#include <core/record_arguments.h>

#include <cstring>

namespace zel {
namespace libs {
namespace core {

boost::string_view record_arguments::operator[](std::size_t _index) const {
    return m_text.view(_index == 0 ? 0 : m_ends[_index - 1], m_ends[_index]);
}

void record_arguments::add(long long _value) {
    if (m_count < max_count) {
        m_text.append_number(_value);
        finish();
    }
}

void record_arguments::add(unsigned long long _value) {
    if (m_count < max_count) {
        m_text.append_number(_value);
        finish();
    }
}

void record_arguments::add(const char* _value) {
    // A null pointer prints nothing on a stream.
    add_text(_value, _value == nullptr ? 0 : std::strlen(_value));
}

void record_arguments::add_text(const char* _data, std::size_t _size) {
    if (m_count < max_count) {
        m_text.append(boost::string_view(_data, _size));
        finish();
    }
}

void record_arguments::finish() {
    m_ends[m_count++] = static_cast<std::uint32_t>(m_text.size());
}

}  // namespace core
}  // namespace libs
}  // namespace zel
