#include <core/append_escaped.h>

namespace zel {
namespace libs {
namespace core {

void append_escaped(std::string& _text, boost::string_view _bytes) {
    static constexpr char hex_digits[] = "0123456789abcdef";
    for (const char character : _bytes) {
        const auto byte = static_cast<unsigned char>(character);
        if (byte == '\\') {
            _text += "\\\\";
        } else if (byte >= 0x20 && byte <= 0x7e) {
            _text += character;
        } else {
            _text += "\\x";
            _text += hex_digits[byte >> 4];
            _text += hex_digits[byte & 0x0f];
        }
    }
}

}  // namespace core
}  // namespace libs
}  // namespace zel
