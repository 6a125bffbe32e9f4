#include "security/generate_keys.h"

#include <core/curve/key_pair.h>
#include <core/exception.h>

#include <iostream>

namespace zel {

int generate_keys(const std::string& _prefix) {
    try {
        libs::core::curve::key_pair::generate().write(_prefix);
    } catch (const libs::core::exception& _error) {
        std::cerr << "vandrel: " << _error.get_string_error() << '\n';
        return 1;
    }
    std::cout << "Wrote " << _prefix << ".key and " << _prefix << ".pub\n";
    return 0;
}

}  // namespace zel
