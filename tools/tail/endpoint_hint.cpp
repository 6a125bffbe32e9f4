#include "endpoint_hint.h"

namespace zel {
namespace tail {

std::string endpoint_hint(const std::string& _endpoint) {
    if (_endpoint.find("://") != std::string::npos || _endpoint.find(':') == std::string::npos) {
        return {};
    }
    return "vandrel-tail: an endpoint names its transport: did you mean tcp://" + _endpoint + "?";
}

}  // namespace tail
}  // namespace zel
