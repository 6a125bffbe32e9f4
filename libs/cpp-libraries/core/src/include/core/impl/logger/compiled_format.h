#pragma once

#include <core/record_arguments.h>

#include <boost/utility/string_view.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zel {
namespace libs {
namespace core {

// A record's format read once into its pieces, for the formats made of text,
// "%%" and "%N%" placeholders only: those render with the record's arguments
// into the very text Boost.Format makes of them. Any other directive is left to
// Boost.Format. Its holders (one thread's format_cache and the records of that
// thread) share it through boost::intrusive_ptr, with a count that is not
// atomic: the last of them frees it.
class compiled_format {
public:
    explicit compiled_format(boost::string_view _format);
    compiled_format(const compiled_format&) = delete;
    compiled_format& operator=(const compiled_format&) = delete;

    // Whether the format holds nothing but text, "%%" and "%N%".
    bool is_covered() const { return m_covered; }
    boost::string_view source() const { return m_source; }
    // The heap it takes, itself included.
    std::size_t footprint() const;

    // Appends the record's text to _out as Boost.Format would make it with
    // missing arguments left empty and extra ones ignored; a format fed nothing
    // that expects something was plain text, rendered as written.
    void render(const record_arguments& _arguments, record_text& _out) const;

private:
    friend void intrusive_ptr_add_ref(const compiled_format* _format) { ++_format->m_holders; }
    friend void intrusive_ptr_release(const compiled_format* _format) {
        if (--_format->m_holders == 0) {
            delete _format;
        }
    }

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
    mutable std::size_t m_holders = 0;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
