#pragma once

#include <config/value.h>

#include <boost/optional.hpp>
#include <string>

namespace zel::libs::config {

// How config::get_by_path turns the node at the end of a path into a T, and
// the name of T in its failure message. Only the specialisations below exist,
// so a lookup of any other type does not compile.
template <class T>
struct path_conversion;

template <>
struct path_conversion<std::string> {
    static constexpr const char* name = "string";
    static boost::optional<std::string> convert(const value& _value) { return _value.as_string(); }
};

// The relay reads strings only. The other scalar kinds are offered in the same
// shape (the value's own conversion, the C++ type name in the message) so that
// every scalar of a document can be looked up alike. Like value::as_int, an
// integral number outside the int range throws Json::LogicError rather than
// reading as absent.
template <>
struct path_conversion<int> {
    static constexpr const char* name = "int";
    static boost::optional<int> convert(const value& _value) { return _value.as_int(); }
};

template <>
struct path_conversion<double> {
    static constexpr const char* name = "double";
    static boost::optional<double> convert(const value& _value) { return _value.as_double(); }
};

template <>
struct path_conversion<bool> {
    static constexpr const char* name = "bool";
    static boost::optional<bool> convert(const value& _value) { return _value.as_bool(); }
};

}  // namespace zel::libs::config
