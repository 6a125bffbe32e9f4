#include "history_config.h"

#include "history.h"

#include <core/exception.h>

#include <cmath>

namespace zel {

namespace {

[[noreturn]] void refuse(const std::string& _why) {
    throw libs::core::exception("Config file is invalid: " + _why, ZEL_LOCATION);
}

bool present(const libs::config::config& _document, const std::string& _member) {
    const auto system = _document.get_root().get_value("system");
    return system && system->as_object() && system->as_object()->get_value(_member);
}

}  // namespace

void read_history(const libs::config::config& _document, std::string& _address,
                  std::size_t& _bytes) {
    if (present(_document, "history_address")) {
        const auto address = _document.get_by_path<std::string>({"system", "history_address"});
        if (!address.ok()) {
            refuse(address.reason());
        }
        _address = address.value();
    }
    if (!present(_document, "history_bytes")) {
        return;
    }
    const auto bytes = _document.get_by_path<double>({"system", "history_bytes"});
    const double value = bytes.try_get().value_or(-1);
    if (value < history::min_bytes || value > max_history_bytes || std::floor(value) != value) {
        refuse("system.history_bytes must be a whole number of bytes from " +
               std::to_string(history::min_bytes) + " to 2^40");
    }
    _bytes = static_cast<std::size_t>(value);
}

}  // namespace zel
