#include <core/check_failed_exception.h>

namespace zel {
namespace libs {
namespace core {

check_failed_exception::check_failed_exception(std::string _condition,
                                               source_location _source_location)
    : exception("check failed: " + _condition, _source_location) {}

}  // namespace core
}  // namespace libs
}  // namespace zel
