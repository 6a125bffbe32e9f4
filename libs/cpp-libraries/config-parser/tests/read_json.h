#pragma once

#include <config/config.h>

#include <boost/optional/optional_io.hpp>

#include <sstream>
#include <string>

// A document read from _json.
inline zel::libs::config::config::ptr read_json(const std::string& _json) {
    std::istringstream stream(_json);
    return zel::libs::config::config::create<zel::libs::config::type::json>(stream);
}
