#pragma once

#include <cstddef>

namespace azmq {
namespace detail {

// A socket option whose value is an integer of the width libzmq expects for Name, such as
// ZMQ_MAXMSGSIZE (int64_t).
template <int Name, typename Integer>
class integer_option {
public:
    explicit integer_option(Integer _value) : m_value(_value) {}

    static constexpr int name() { return Name; }

    const void* data() const noexcept { return &m_value; }

    std::size_t size() const noexcept { return sizeof m_value; }

private:
    Integer m_value;
};

}  // namespace detail
}  // namespace azmq
