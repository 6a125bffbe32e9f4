#pragma once

#include <core/exception.h>

#include <boost/utility/string_view.hpp>

namespace zel {
namespace libs {
namespace core {
namespace redis {

// The kinds of reply records. The values are hiredis's own type numbers, so a
// record's type field converts by a cast (the library checks them against
// hiredis when it is built).
enum class reply_type {
    STRING = 1,
    ARRAY = 2,
    INTEGER = 3,
    NIL = 4,
    STATUS = 5,
    ERROR = 6,
    _count = 7
};

// The lower-case name used in error messages. A value outside the enumeration
// can only come from a record hiredis did not build, so it is refused loudly.
inline boost::string_view to_string(reply_type _type) {
    switch (_type) {
        case reply_type::STRING:
            return "string";
        case reply_type::ARRAY:
            return "array";
        case reply_type::INTEGER:
            return "integer";
        case reply_type::NIL:
            return "nil";
        case reply_type::STATUS:
            return "status";
        case reply_type::ERROR:
            return "error";
        default:
            throw exception("Unknown enumeration value", ZEL_LOCATION);
    }
}

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
