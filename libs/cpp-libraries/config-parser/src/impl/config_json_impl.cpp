#include "config_json_impl.h"

#include "find_repeated_members.h"

#include <json/reader.h>

#include <boost/throw_exception.hpp>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace zel::libs::config {

namespace {

// The reader refuses documents nested deeper than this, and the copy below
// recurses once per level, so the limit also bounds the copy's stack use
// (about a megabyte at full depth, an eighth of the usual thread stack).
// jsoncpp's default is the same; it is spelled out because the copy relies on
// it.
constexpr int max_nesting = 1000;

// Strings are taken byte for byte: jsoncpp does not check that they are
// UTF-8, and neither do we, since configuration strings (paths, endpoints)
// are handed on to the system as they are, and a byte string the system
// accepts should not be refused here.
Json::Value parse(const std::string& _text) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    builder["stackLimit"] = max_nesting;
    Json::Value document;
    std::string errors;
    bool parsed = false;
    try {
        const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        parsed = reader->parse(_text.data(), _text.data() + _text.size(), &document, &errors);
    } catch (const Json::Exception& _error) {
        // Nesting past the limit is reported by throwing, not through the
        // error report.
        errors = _error.what();
    }
    if (!parsed) {
        boost::throw_exception(std::runtime_error("Cannot parse json: " + errors));
    }
    return document;
}

// The whole stream, as the JSON reader would read it itself.
std::string read_all(std::istream& _stream) {
    std::ostringstream text;
    text << _stream.rdbuf();
    return text.str();
}

}  // namespace

config_json_impl::config_json_impl(std::istream& _stream) {
    const std::string text = read_all(_stream);
    const Json::Value document = parse(text);
    m_repeated = find_repeated_members(text, max_nesting);
    dictionary_impl& root = m_dictionaries.emplace_back();
    // An array at the top level yields its elements, all named "", so the
    // root keeps the first; a scalar yields nothing and the root stays empty.
    for (auto entry = document.begin(); entry != document.end(); ++entry) {
        processValue(*entry, entry.name(), root);
    }
}

config::object config_json_impl::get_root() const {
    return m_dictionaries.front();
}

void config_json_impl::processValue(const Json::Value& _value, const std::string& _name,
                                    dictionary_impl& _dictionary) {
    _dictionary.add_value(_name, copy_node(_value));
}

void config_json_impl::processArray(const Json::Value& _array, std::vector<value_impl>& _out) {
    _out.reserve(_array.size());
    for (const Json::Value& element : _array) {
        _out.push_back(copy_node(element));
    }
}

value_impl config_json_impl::copy_node(const Json::Value& _value) {
    if (_value.isObject()) {
        dictionary_impl& members = m_dictionaries.emplace_back();
        for (auto member = _value.begin(); member != _value.end(); ++member) {
            processValue(*member, member.name(), members);
        }
        return value_impl(members);
    }
    if (_value.isArray()) {
        std::vector<value_impl>& elements = m_arrays.emplace_back();
        processArray(_value, elements);
        // Taken only now: the vector no longer grows, so the range stays valid.
        return value_impl(value::array(elements));
    }
    return value_impl(_value);
}

}  // namespace zel::libs::config
