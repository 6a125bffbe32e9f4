#pragma once

#include <core/exception.h>

#include <hiredis/hiredis.h>
#include <boost/utility/string_view.hpp>

namespace zel {
namespace libs {
namespace core {
namespace redis {

// The kinds of reply records. The values are hiredis's own type numbers, so a
// record's type field converts by a cast.
enum class reply_type {
    STRING = 1,
    ARRAY = 2,
    INTEGER = 3,
    NIL = 4,
    STATUS = 5,
    ERROR = 6,
    _count = 7
};

static_assert(static_cast<int>(reply_type::STRING) == REDIS_REPLY_STRING, "hiredis type number");
static_assert(static_cast<int>(reply_type::ARRAY) == REDIS_REPLY_ARRAY, "hiredis type number");
static_assert(static_cast<int>(reply_type::INTEGER) == REDIS_REPLY_INTEGER, "hiredis type number");
static_assert(static_cast<int>(reply_type::NIL) == REDIS_REPLY_NIL, "hiredis type number");
static_assert(static_cast<int>(reply_type::STATUS) == REDIS_REPLY_STATUS, "hiredis type number");
static_assert(static_cast<int>(reply_type::ERROR) == REDIS_REPLY_ERROR, "hiredis type number");

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
