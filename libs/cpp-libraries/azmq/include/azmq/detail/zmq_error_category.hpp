#pragma once

#include <zmq.h>

#include <boost/system/error_category.hpp>
#include <boost/system/error_condition.hpp>
#include <boost/system/generic_category.hpp>

#include <string>

namespace azmq {
namespace detail {

// The values zmq_errno() returns: system errno values that libzmq passes on, and the few of
// its own from ZMQ_HAUSNUMERO up (EFSM, ETERM, ...). Messages are libzmq's wording, so an
// error reads as it does in any other ZeroMQ program.
class zmq_error_category : public boost::system::error_category {
public:
    const char* name() const noexcept override { return "zmq"; }

    std::string message(int _value) const override { return zmq_strerror(_value); }

    // System values keep their generic meaning, so that a code compares equal to the
    // boost::system::errc condition of the same number.
    boost::system::error_condition default_error_condition(int _value) const noexcept override {
        if (_value >= ZMQ_HAUSNUMERO) {
            return boost::system::error_condition(_value, *this);
        }
        return boost::system::error_condition(_value, boost::system::generic_category());
    }
};

}  // namespace detail
}  // namespace azmq
