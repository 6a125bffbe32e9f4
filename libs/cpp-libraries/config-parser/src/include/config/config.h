#pragma once

#include <config/dictionary.h>
#include <config/error_reason.h>
#include <config/path_conversion.h>
#include <config/result.h>
#include <config/type.h>
#include <config/value.h>

#include <functional>
#include <initializer_list>
#include <istream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zel::libs::config {

// A document read once and immutable afterwards. Every dictionary, value and
// array range it hands out stays valid for as long as the document lives.
class config {
public:
    using object = const dictionary&;
    using ptr = std::unique_ptr<config>;

    virtual ~config() = default;
    virtual object get_root() const = 0;
    // The path of each member the document gives more than once, at each repetition, in the
    // order of the text ("system.input_address", an array's element as "list[2]"); the root
    // holds the last of them.
    virtual const std::vector<std::string>& repeated_members() const = 0;

    // Reads the whole stream. Throws std::runtime_error, with a text that
    // starts with "Cannot parse json: ", for anything that is not a document
    // (including an unreadable stream and nesting deeper than the reader
    // allows).
    template <type T>
    static std::unique_ptr<config> create(std::istream& _stream);

    // Looks up a path of keys, outermost first. Every key but the last must
    // name an object; the last must name a value convertible to T. Absence
    // and values of another kind give a failed result, never an exception.
    template <class T>
    result<T> get_by_path(const std::initializer_list<std::string>& _path) const;

private:
    // The object that holds the last key of _path, or why it is missing.
    result<std::reference_wrapper<const dictionary>> find_parent(
        const std::initializer_list<std::string>& _path) const;
    static error_reason field_failure(const std::string& _type_name,
                                      const std::initializer_list<std::string>& _path);
};

template <>
std::unique_ptr<config> config::create<type::json>(std::istream& _stream);

template <class T>
result<T> config::get_by_path(const std::initializer_list<std::string>& _path) const {
    const auto parent = find_parent(_path);
    if (!parent.ok()) {
        return error_reason{parent.reason()};
    }
    if (_path.size() > 0) {
        if (const auto field = parent.value().get().get_value(*std::prev(_path.end()))) {
            if (auto converted = path_conversion<T>::convert(*field)) {
                return std::move(*converted);
            }
        }
    }
    return field_failure(path_conversion<T>::name, _path);
}

}  // namespace zel::libs::config
