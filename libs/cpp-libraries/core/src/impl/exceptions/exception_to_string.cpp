#include <core/exception_to_string.h>

#include <sstream>

namespace zel {
namespace libs {
namespace core {

std::string exception_to_string(const located_exception& _exception) {
    std::ostringstream stream;
    _exception.describe(stream);
    return stream.str();
}

std::string exception_to_string() {
    try {
        throw;
    } catch (const located_exception& e) {
        return exception_to_string(e);
    } catch (const std::exception& e) {
        return std::string("std::exception::what(): ") + e.what();
    } catch (...) {
        return "Unknown exception";
    }
}

}  // namespace core
}  // namespace libs
}  // namespace zel
