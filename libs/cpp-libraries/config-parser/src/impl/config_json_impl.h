#pragma once

#include "dictionary_impl.h"
#include "value_impl.h"

#include <config/config.h>

#include <json/value.h>

#include <istream>
#include <list>
#include <string>
#include <vector>

namespace zel::libs::config {

// A JSON document copied once into nodes that never move: lists keep every
// dictionary and every array's elements in place while the tree is built, so
// values can refer to them by reference and by iterator range.
class config_json_impl : public config {
public:
    explicit config_json_impl(std::istream& _stream);

    object get_root() const override;
    const std::vector<std::string>& repeated_members() const override { return m_repeated; }

private:
    void processValue(const Json::Value& _value, const std::string& _name,
                      dictionary_impl& _dictionary);
    void processArray(const Json::Value& _array, std::vector<value_impl>& _out);
    // The node for one JSON value, with everything below it copied.
    value_impl copy_node(const Json::Value& _value);

    std::list<dictionary_impl> m_dictionaries;
    std::list<std::vector<value_impl>> m_arrays;
    std::vector<std::string> m_repeated;
};

}  // namespace zel::libs::config
