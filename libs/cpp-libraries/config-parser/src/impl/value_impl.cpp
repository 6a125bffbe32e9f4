#include "value_impl.h"

namespace zel::libs::config {

value_impl::value_impl(const Json::Value& _value) : m_value(_value) {}

value_impl::value_impl(const dictionary& _dictionary) : m_value(_dictionary) {}

value_impl::value_impl(const array& _array) : m_value(_array) {}

boost::optional<bool> value_impl::as_bool() const {
    const Json::Value* held = scalar();
    if (held && held->isBool()) {
        return held->asBool();
    }
    return boost::none;
}

boost::optional<int> value_impl::as_int() const {
    const Json::Value* held = scalar();
    if (held && held->isIntegral()) {
        return held->asInt();
    }
    return boost::none;
}

boost::optional<double> value_impl::as_double() const {
    const Json::Value* held = scalar();
    if (held && held->isDouble()) {
        return held->asDouble();
    }
    return boost::none;
}

boost::optional<std::string> value_impl::as_string() const {
    const Json::Value* held = scalar();
    if (held && held->isString()) {
        return held->asString();
    }
    return boost::none;
}

boost::optional<const dictionary&> value_impl::as_object() const {
    if (m_value.which() == 1) {
        return boost::get<const dictionary&>(m_value);
    }
    return boost::none;
}

boost::optional<value::array> value_impl::as_array() const {
    if (const array* elements = boost::get<array>(&m_value)) {
        return *elements;
    }
    return boost::none;
}

const Json::Value* value_impl::scalar() const {
    return boost::get<Json::Value>(&m_value);
}

}  // namespace zel::libs::config
