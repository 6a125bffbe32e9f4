#pragma once

#include <core/located_exception.h>

#include <string>

namespace zel {
namespace libs {
namespace core {

// The text describe() writes for the exception.
std::string exception_to_string(const located_exception& _exception);

// The text of the exception being handled; call it inside a catch block only.
// A located exception gives its describe() text, another std::exception
// "std::exception::what(): " and its what(), anything else "Unknown exception".
std::string exception_to_string();

}  // namespace core
}  // namespace libs
}  // namespace zel
