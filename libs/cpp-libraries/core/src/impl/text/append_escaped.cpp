#include <core/append_escaped.h>

#include <cstddef>

namespace zel {
namespace libs {
namespace core {

namespace {

void append_escaped_byte(std::string& _text, unsigned char _byte) {
    static constexpr char hex_digits[] = "0123456789abcdef";
    if (_byte == '\\') {
        _text += "\\\\";
    } else if (_byte >= 0x20 && _byte <= 0x7e) {
        _text += static_cast<char>(_byte);
    } else {
        _text += "\\x";
        _text += hex_digits[_byte >> 4];
        _text += hex_digits[_byte & 0x0f];
    }
}

// A well-formed sequence by its lead byte: its length, and the range of its second byte, which
// rules out overlong forms, surrogates and code points past U+10FFFF.
struct utf8_form {
    unsigned char lead_min;
    unsigned char lead_max;
    std::size_t length;
    unsigned char second_min;
    unsigned char second_max;
};

constexpr utf8_form utf8_forms[] = {
    // From U+00A0: the C1 controls before it are escaped.
    {0xc2, 0xc2, 2, 0xa0, 0xbf}, {0xc3, 0xdf, 2, 0x80, 0xbf}, {0xe0, 0xe0, 3, 0xa0, 0xbf},
    {0xe1, 0xec, 3, 0x80, 0xbf}, {0xed, 0xed, 3, 0x80, 0x9f}, {0xee, 0xef, 3, 0x80, 0xbf},
    {0xf0, 0xf0, 4, 0x90, 0xbf}, {0xf1, 0xf3, 4, 0x80, 0xbf}, {0xf4, 0xf4, 4, 0x80, 0x8f},
};

// The length of the well-formed sequence of a printable character that starts at _at, or 0.
std::size_t utf8_sequence_length(boost::string_view _bytes, std::size_t _at) {
    const auto byte = [&](std::size_t _offset) {
        return static_cast<unsigned char>(_bytes[_at + _offset]);
    };
    for (const utf8_form& form : utf8_forms) {
        if (byte(0) < form.lead_min || byte(0) > form.lead_max) {
            continue;
        }
        if (_bytes.size() - _at < form.length || byte(1) < form.second_min ||
            byte(1) > form.second_max) {
            return 0;
        }
        for (std::size_t offset = 2; offset < form.length; ++offset) {
            if ((byte(offset) & 0xc0) != 0x80) {
                return 0;
            }
        }
        return form.length;
    }
    return 0;
}

}  // namespace

void append_escaped(std::string& _text, boost::string_view _bytes) {
    for (const char character : _bytes) {
        append_escaped_byte(_text, static_cast<unsigned char>(character));
    }
}

void append_escaped_keeping_utf8(std::string& _text, boost::string_view _bytes) {
    std::size_t at = 0;
    while (at < _bytes.size()) {
        const std::size_t length = utf8_sequence_length(_bytes, at);
        if (length > 0) {
            _text.append(_bytes.data() + at, length);
            at += length;
        } else {
            append_escaped_byte(_text, static_cast<unsigned char>(_bytes[at]));
            ++at;
        }
    }
}

}  // namespace core
}  // namespace libs
}  // namespace zel
