#include <core/exception.h>

#include <utility>

namespace zel {
namespace libs {
namespace core {

exception::exception(std::string _message, source_location _source_location)
    : located_exception(_source_location), m_str_error(std::move(_message)) {}

std::ostream& exception::describe(std::ostream& _os) const {
    return located_exception::describe(_os) << ' ' << m_str_error;
}

}  // namespace core
}  // namespace libs
}  // namespace zel
