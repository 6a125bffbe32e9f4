#include "history/history_config.h"

#include "history/history.h"

namespace zel {

std::string read_history(const libs::config::dictionary& _system, std::string& _address,
                         std::size_t& _bytes) {
    if (const auto address = _system.get_value("history_address")) {
        _address = address->as_string().value_or("");
    }
    const auto bytes = _system.get_value("history_bytes");
    if (!bytes) {
        return {};
    }
    const double value = bytes->as_double().value_or(-1);
    if (value < history::min_bytes || value > max_history_bytes) {
        return "system.history_bytes must be from " + std::to_string(history::min_bytes) +
               " to 2^40 bytes";
    }
    _bytes = static_cast<std::size_t>(value);
    return {};
}

}  // namespace zel
