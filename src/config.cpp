#include "config.h"

#include <config/config.h>
#include <core/exception.h>

#include <tuple>

namespace zel {

config::config(std::istream& _stream) {
    using document = libs::config::config;
    const auto parsed = document::create<libs::config::type::json>(_stream);
    const auto input = parsed->get_by_path<std::string>({"system", "input_address"});
    const auto output = parsed->get_by_path<std::string>({"system", "output_address"});
    const auto both = input + output;
    if (!both.ok()) {
        throw libs::core::exception("Config file is invalid: " + both.reason(), ZEL_LOCATION);
    }
    std::tie(system.input_address, system.output_address) = both.value();
}

}  // namespace zel
