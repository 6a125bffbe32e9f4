#pragma once

#include "value_impl.h"

#include <config/dictionary.h>

#include <boost/optional.hpp>
#include <map>
#include <string>
#include <vector>

namespace zel::libs::config {

// The members of one JSON object, ordered by key.
class dictionary_impl : public dictionary {
public:
    boost::optional<const value&> get_value(const std::string& _key) const override;
    std::vector<std::string> get_keys() const override;

    // The first value stored under a key is kept; later ones are dropped.
    void add_value(const std::string& _key, value_impl _value);

private:
    std::map<std::string, value_impl> m_data;
};

}  // namespace zel::libs::config
