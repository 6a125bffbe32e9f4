#include "config_json_impl.h"

#include <config/config.h>

#include <boost/algorithm/string/join.hpp>
#include <boost/range/iterator_range.hpp>

namespace zel::libs::config {

namespace {

using key_iterator = std::initializer_list<std::string>::const_iterator;

std::string join_keys(key_iterator _first, key_iterator _last) {
    return boost::algorithm::join(boost::make_iterator_range(_first, _last), ".");
}

}  // namespace

template <>
std::unique_ptr<config> config::create<type::json>(std::istream& _stream) {
    return std::make_unique<config_json_impl>(_stream);
}

result<std::reference_wrapper<const dictionary>> config::find_parent(
    const std::initializer_list<std::string>& _path) const {
    std::reference_wrapper<const dictionary> current = get_root();
    const key_iterator last = _path.size() > 0 ? std::prev(_path.end()) : _path.end();
    for (key_iterator key = _path.begin(); key != last; ++key) {
        const auto member = current.get().get_value(*key);
        const auto object = member ? member->as_object() : boost::none;
        if (!object) {
            return error_reason{
                "Can not find object <object>: " + join_keys(_path.begin(), std::next(key)) +
                ", path: " + join_keys(_path.begin(), _path.end())};
        }
        current = *object;
    }
    return current;
}

error_reason config::field_failure(const std::string& _type_name,
                                   const std::initializer_list<std::string>& _path) {
    return error_reason{"Can not find field <" + _type_name +
                        ">: " + join_keys(_path.begin(), _path.end())};
}

}  // namespace zel::libs::config
