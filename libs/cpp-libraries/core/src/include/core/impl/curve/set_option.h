#pragma once

#include <string>

namespace zel {
namespace libs {
namespace core {
namespace curve {

// Sets a libzmq option of _socket; throws exception naming the option when libzmq refuses, so
// that a socket is never left with less security than asked for.
void set_option(void* _socket, int _option, const std::string& _value);
void set_option(void* _socket, int _option, int _value);

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
