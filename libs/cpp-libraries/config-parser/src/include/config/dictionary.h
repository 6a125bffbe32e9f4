#pragma once

#include <config/value.h>

#include <boost/optional.hpp>
#include <string>
#include <vector>

namespace zel::libs::config {

// The members of one object of a document.
class dictionary {
public:
    virtual ~dictionary() = default;

    virtual boost::optional<const value&> get_value(const std::string& _key) const = 0;
    // Ascending byte-wise order.
    virtual std::vector<std::string> get_keys() const = 0;
};

}  // namespace zel::libs::config
