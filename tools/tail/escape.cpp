#include "escape.h"

namespace zel {
namespace tail {

void append_escaped(std::string& _line, std::string_view _frame) {
    static constexpr char hex_digits[] = "0123456789abcdef";
    for (const char character : _frame) {
        const auto byte = static_cast<unsigned char>(character);
        if (byte == '\\') {
            _line += "\\\\";
        } else if (byte >= 0x20 && byte <= 0x7e) {
            _line += character;
        } else {
            _line += "\\x";
            _line += hex_digits[byte >> 4];
            _line += hex_digits[byte & 0x0f];
        }
    }
}

}  // namespace tail
}  // namespace zel
