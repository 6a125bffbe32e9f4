#pragma once

#include <string>

namespace zel::libs::config {

// Why a lookup produced no value.
struct error_reason {
    std::string reason;
};

}  // namespace zel::libs::config
