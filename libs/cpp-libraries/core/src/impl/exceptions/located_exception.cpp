#include <core/located_exception.h>

#include <sstream>

namespace zel {
namespace libs {
namespace core {

located_exception::located_exception(source_location _source_location)
    : m_source_location(_source_location) {}

const char* located_exception::what() const noexcept {
    try {
        std::ostringstream stream;
        describe(stream);
        m_what = stream.str();
    } catch (...) {
        // Out of memory while describing: an empty text beats terminating.
        m_what.clear();
    }
    return m_what.c_str();
}

std::ostream& located_exception::describe(std::ostream& _os) const {
    return _os << m_source_location.short_file() << ':' << m_source_location.line();
}

}  // namespace core
}  // namespace libs
}  // namespace zel
