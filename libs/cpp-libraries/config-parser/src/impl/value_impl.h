#pragma once

#include <config/dictionary.h>
#include <config/value.h>

#include <json/value.h>

#include <boost/optional.hpp>
#include <boost/variant.hpp>
#include <string>

namespace zel::libs::config {

// A node of a JSON document. Scalars are held by copy; objects and arrays
// refer to nodes owned by the document, so copying a value_impl shares them.
class value_impl : public value {
public:
    explicit value_impl(const Json::Value& _value);
    explicit value_impl(const dictionary& _dictionary);
    explicit value_impl(const array& _array);

    boost::optional<bool> as_bool() const override;
    boost::optional<int> as_int() const override;
    boost::optional<double> as_double() const override;
    boost::optional<std::string> as_string() const override;
    boost::optional<const dictionary&> as_object() const override;
    boost::optional<array> as_array() const override;

private:
    // Null when the node is an object or an array.
    const Json::Value* scalar() const;

    boost::variant<Json::Value, const dictionary&, array> m_value;
};

}  // namespace zel::libs::config
