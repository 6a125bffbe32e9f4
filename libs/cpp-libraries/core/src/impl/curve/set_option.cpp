#include <core/impl/curve/set_option.h>

#include <core/exception.h>

#include <zmq.h>

namespace zel {
namespace libs {
namespace core {
namespace curve {
namespace {

void check(int _result, int _option) {
    if (_result != 0) {
        throw exception("Cannot set ZeroMQ socket option " + std::to_string(_option) + ": " +
                            zmq_strerror(zmq_errno()),
                        ZEL_LOCATION);
    }
}

}  // namespace

void set_option(void* _socket, int _option, const std::string& _value) {
    check(zmq_setsockopt(_socket, _option, _value.data(), _value.size()), _option);
}

void set_option(void* _socket, int _option, int _value) {
    check(zmq_setsockopt(_socket, _option, &_value, sizeof _value), _option);
}

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
