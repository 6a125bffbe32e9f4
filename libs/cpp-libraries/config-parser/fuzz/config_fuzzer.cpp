// Reads arbitrary bytes as a JSON document and walks everything the document
// hands out, aborting when lookups disagree with one another. The only
// exceptions caught are the ones the library documents: std::runtime_error
// from create, and Json::LogicError from int conversions of integral numbers
// beyond the int range.
#include <config/config.h>

#include <json/value.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

using namespace zel::libs::config;

namespace {

void require(bool _condition) {
    if (!_condition) {
        std::abort();
    }
}

bool beyond_int(const value& _value) {
    const auto number = _value.as_double();
    return number && (*number < INT_MIN || *number > INT_MAX);
}

void visit(const value& _value);

void visit(const dictionary& _dictionary) {
    const auto keys = _dictionary.get_keys();
    require(std::adjacent_find(keys.begin(), keys.end(), std::greater_equal<>()) == keys.end());
    for (const auto& key : keys) {
        const auto member = _dictionary.get_value(key);
        require(member.has_value());
        visit(*member);
    }
}

void visit(const value& _value) {
    const auto number = _value.as_double();
    try {
        if (const auto integer = _value.as_int()) {
            require(number && *number == *integer);
        }
    } catch (const Json::LogicError&) {
        require(beyond_int(_value));
    }
    require(bool(_value.as_bool()) + bool(number) + bool(_value.as_string()) +
                bool(_value.as_object()) + bool(_value.as_array()) <=
            1);
    if (const auto object = _value.as_object()) {
        visit(*object);
    }
    if (const auto elements = _value.as_array()) {
        long forward = 0;
        for (const value& element : *elements) {
            visit(element);
            ++forward;
        }
        long backward = 0;
        for (auto element = elements->end(); element != elements->begin(); --element) {
            ++backward;
        }
        require(forward == backward);
    }
}

// The node at the end of _path, reached without get_by_path.
boost::optional<const value&> walk(const dictionary& _root,
                                   const std::initializer_list<std::string>& _path) {
    boost::optional<const dictionary&> current = _root;
    boost::optional<const value&> node;
    for (const auto& key : _path) {
        node = current ? current->get_value(key) : boost::none;
        current = node ? node->as_object() : boost::none;
    }
    return node;
}

// Looks _path up as every scalar type and checks each answer against the node
// reached by hand.
void check_path(const config& _document, const std::initializer_list<std::string>& _path) {
    const auto node = walk(_document.get_root(), _path);
    const auto text = _document.get_by_path<std::string>(_path);
    require(text.try_get() == (node ? node->as_string() : boost::none));
    require(text.ok() || text.reason().rfind("Can not find ", 0) == 0);
    require(_document.get_by_path<double>(_path).try_get() ==
            (node ? node->as_double() : boost::none));
    require(_document.get_by_path<bool>(_path).try_get() == (node ? node->as_bool() : boost::none));
    try {
        require(_document.get_by_path<int>(_path).try_get() ==
                (node ? node->as_int() : boost::none));
    } catch (const Json::LogicError&) {
        require(node && beyond_int(*node));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* _data, std::size_t _size) {
    std::istringstream stream(std::string(reinterpret_cast<const char*>(_data), _size));
    config::ptr document;
    try {
        document = config::create<type::json>(stream);
    } catch (const std::runtime_error& _error) {
        require(std::string(_error.what()).rfind("Cannot parse json: ", 0) == 0);
        return 0;
    }
    const dictionary& root = document->get_root();
    visit(root);
    const std::string absent = "\x01 absent";
    check_path(*document, {absent});
    for (const auto& key : root.get_keys()) {
        check_path(*document, {key});
        check_path(*document, {key, absent});
        const auto object = root.get_value(key)->as_object();
        for (const auto& inner : object ? object->get_keys() : std::vector<std::string>()) {
            check_path(*document, {key, inner});
            check_path(*document, {key, inner, absent});
        }
    }
    return 0;
}
