#pragma once

#include <boost/optional.hpp>
#include <boost/range/any_range.hpp>
#include <string>

namespace zel::libs::config {

class dictionary;

// One node of a document: a scalar, an object or an array. Every conversion
// gives an empty optional when the node holds something of another kind;
// nothing is converted between kinds.
class value {
public:
    // The elements of an array, in document order. The reference is mutable
    // only because the range is built over the document's own element
    // storage; value has no mutating operation, so the tree stays read-only.
    using array = boost::any_range<value, boost::bidirectional_traversal_tag, value&, long>;

    virtual ~value() = default;
    value& operator=(const value&) = delete;

    virtual boost::optional<bool> as_bool() const = 0;
    // An integral number outside the int range is neither absent nor of
    // another kind, so it is not reported as an empty optional: the JSON
    // reader's range check throws Json::LogicError.
    virtual boost::optional<int> as_int() const = 0;
    virtual boost::optional<double> as_double() const = 0;
    virtual boost::optional<std::string> as_string() const = 0;
    virtual boost::optional<const dictionary&> as_object() const = 0;
    virtual boost::optional<array> as_array() const = 0;

protected:
    value() = default;
    value(const value&) = default;
};

}  // namespace zel::libs::config
