#pragma once

#include <core/exception.h>

#include <string>

namespace zel {
namespace libs {
namespace core {

// Thrown by ZEL_CHECK: the message is "check failed: " and the condition's text.
class check_failed_exception : public exception {
public:
    check_failed_exception(std::string _condition, source_location _source_location);
};

}  // namespace core
}  // namespace libs
}  // namespace zel

// Throws check_failed_exception, with the condition as written and the current
// location, when the condition is false.
#define ZEL_CHECK(condition)                                                           \
    do {                                                                               \
        if (!(condition)) {                                                            \
            throw ::zel::libs::core::check_failed_exception(#condition, ZEL_LOCATION); \
        }                                                                              \
    } while (false)
