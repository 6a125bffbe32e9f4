#include "bind_endpoint.h"

#include <core/append_escaped.h>
#include <core/exception.h>

#include <boost/system/error_code.hpp>

namespace zel {

void bind_endpoint(azmq::socket& _socket, const std::string& _address, const std::string& _side) {
    boost::system::error_code error;
    _socket.bind(_address, error);
    if (error) {
        std::string message = "Cannot bind the " + _side + " to ";
        libs::core::append_escaped(message, _address);
        throw libs::core::exception(message + ": " + error.message(), ZEL_LOCATION);
    }
}

}  // namespace zel
