#pragma once

#include <core/inline_text.h>

#include <boost/utility/string_view.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

namespace zel {
namespace libs {
namespace core {

// The arguments of one record, each already rendered as a Boost.Format "%N%"
// renders it (the stream's default conversion). A record keeps them inside
// itself up to 240 bytes, so that most records allocate nothing; the first
// max_count only are kept.
class record_arguments {
public:
    static constexpr std::size_t max_count = 16;

    std::size_t count() const { return m_count; }
    boost::string_view operator[](std::size_t _index) const;

    void add(bool _value) { add_character(_value ? '1' : '0'); }
    void add(char _value) { add_character(_value); }
    void add(signed char _value) { add_character(static_cast<char>(_value)); }
    void add(unsigned char _value) { add_character(static_cast<char>(_value)); }
    void add(long long _value);
    void add(unsigned long long _value);
    void add(const char* _value);
    void add(char* _value) { add(static_cast<const char*>(_value)); }
    void add(const std::string& _value) { add_text(_value.data(), _value.size()); }
    void add(std::string_view _value) { add_text(_value.data(), _value.size()); }
    void add(boost::string_view _value) { add_text(_value.data(), _value.size()); }

    // Every other integer converts as the stream would print it.
    template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T>, int> = 0>
    void add(T _value) {
        add(static_cast<long long>(_value));
    }
    template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T>, int> = 0>
    void add(T _value) {
        add(static_cast<unsigned long long>(_value));
    }
    // Anything else (floating point, enumerations, a type of its own) through
    // the stream itself, so that its own operator<< is the one used.
    template <class T, std::enable_if_t<!std::is_integral_v<T>, int> = 0>
    void add(const T& _value) {
        std::ostringstream stream;
        stream << _value;
        const std::string text = stream.str();
        add_text(text.data(), text.size());
    }

private:
    void add_character(char _value) { add_text(&_value, 1); }
    void add_text(const char* _data, std::size_t _size);
    // The argument ends where the text does.
    void finish();

    inline_text<240> m_text;
    std::array<std::uint32_t, max_count> m_ends{};
    std::size_t m_count = 0;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
