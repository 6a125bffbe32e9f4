#pragma once

#include <config/error_reason.h>

#include <boost/optional.hpp>
#include <boost/throw_exception.hpp>
#include <boost/variant.hpp>
#include <string>
#include <tuple>
#include <utility>

namespace zel::libs::config {

// Either a looked-up value or the reason it could not be found. Failures are
// values rather than exceptions so that a caller can gather every problem of a
// configuration into one report (see operator+ below).
template <class T>
class result {
public:
    using result_type = T;
    using value_type = boost::variant<T, error_reason>;

    result(result_type _value) : m_value(std::move(_value)) {}
    result(error_reason _reason) : m_value(std::move(_reason)) {}

    bool ok() const { return m_value.which() == 0; }

    boost::optional<T> try_get() const {
        if (const T* held = boost::get<T>(&m_value)) {
            return *held;
        }
        return boost::none;
    }

    // Throws boost::bad_optional_access on a failed result, as dereferencing
    // try_get() would.
    T value() const {
        if (const T* held = boost::get<T>(&m_value)) {
            return *held;
        }
        boost::throw_exception(boost::bad_optional_access());
    }

    // Empty for a successful result.
    std::string reason() const {
        if (const error_reason* failure = boost::get<error_reason>(&m_value)) {
            return failure->reason;
        }
        return {};
    }

private:
    value_type m_value;
};

// Both values, or every reason that stopped them, one per line, left first.
template <class A, class B>
auto operator+(const result<A>& _lhs, const result<B>& _rhs) -> result<std::tuple<A, B>> {
    if (_lhs.ok() && _rhs.ok()) {
        return std::make_tuple(_lhs.value(), _rhs.value());
    }
    if (!_lhs.ok() && !_rhs.ok()) {
        return error_reason{_lhs.reason() + "\n" + _rhs.reason()};
    }
    return error_reason{_lhs.ok() ? _rhs.reason() : _lhs.reason()};
}

}  // namespace zel::libs::config
