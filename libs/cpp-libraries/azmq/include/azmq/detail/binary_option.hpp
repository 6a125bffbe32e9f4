#pragma once

#include <cstddef>
#include <string>
#include <utility>

namespace azmq {
namespace detail {

// A socket option whose value is a byte string, such as ZMQ_SUBSCRIBE.
template <int Name>
class binary_option {
public:
    explicit binary_option(std::string _value) : m_value(std::move(_value)) {}

    static constexpr int name() { return Name; }

    const void* data() const noexcept { return m_value.data(); }

    std::size_t size() const noexcept { return m_value.size(); }

private:
    std::string m_value;
};

}  // namespace detail
}  // namespace azmq
