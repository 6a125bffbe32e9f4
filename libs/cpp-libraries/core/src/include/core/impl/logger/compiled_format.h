#pragma once

#include <core/record_arguments.h>

#include <boost/utility/string_view.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace zel {
namespace libs {
namespace core {

// A record's format read once into its pieces, for the formats made of text,
// "%%" and "%N%" placeholders only: those render with the record's arguments
// into the very text Boost.Format makes of them. Any other directive is left to
// Boost.Format.
class compiled_format {
public:
    // The compiled form of _format, read once per thread for each address a
    // format lives at (formats are literals); null when _format holds another
    // directive, or when the thread holds max_cached formats already, or is
    // ending. Valid while the thread lives.
    static const compiled_format* find(boost::string_view _format);
    static constexpr std::size_t max_cached = 1024;

    explicit compiled_format(boost::string_view _format);

    // Appends the record's text to _out as Boost.Format would make it with
    // missing arguments left empty and extra ones ignored; a format fed nothing
    // that expects something was plain text, rendered as written.
    void render(const record_arguments& _arguments, record_text& _out) const;

private:
    struct piece {
        std::uint32_t m_offset;
        std::uint32_t m_size;
        // The argument's index, or -1 for the text at m_offset.
        int m_argument;
    };

    bool read_placeholder(std::size_t& _position);
    void add_text(std::size_t _offset, std::size_t _size);

    std::string m_source;
    std::vector<piece> m_pieces;
    std::size_t m_expected = 0;
    bool m_covered = true;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
