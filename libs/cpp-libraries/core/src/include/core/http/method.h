#pragma once

#include <core/exception.h>

namespace zel {
namespace libs {
namespace core {
namespace http {

// The request methods a client sends.
enum class method { get, post, put, del, _count };

// The name sent on the request line. The family's services route on "DEL", so
// del keeps that name rather than DELETE.
inline const char* to_string(method _method) {
    switch (_method) {
        case method::get:
            return "GET";
        case method::post:
            return "POST";
        case method::put:
            return "PUT";
        case method::del:
            return "DEL";
        default:
            throw exception("Unknown enumeration value", ZEL_LOCATION);
    }
}

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
