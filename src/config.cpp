#include "config.h"

#include "history/history_config.h"

#include <config/config.h>
#include <core/append_escaped.h>
#include <core/exception.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace zel {

namespace {

namespace document = libs::config;

// The document library's own opening of its failures, which these keep.
const std::string parse_failure = "Cannot parse json: ";

enum class kind { string, integer, object };

struct member {
    const char* name;
    kind type;
    bool required;
};

// Every member of "system" the relay knows, with the type it must have; any other is warned
// about. A piece that reads a member of its own adds a line here.
constexpr member system_members[] = {
    {"input_address", kind::string, true},    {"output_address", kind::string, true},
    {"metrics_address", kind::string, false}, {"history_address", kind::string, false},
    {"history_bytes", kind::integer, false},  {"curve", kind::object, false},
};

// A curve object is whole or an error: never a relay open to all for want of a member.
constexpr member curve_members[] = {
    {"secret_key_file", kind::string, true},
    {"clients_directory", kind::string, true},
};

const char* name_of(kind _kind) {
    switch (_kind) {
        case kind::string:
            return "a string";
        case kind::integer:
            return "a whole number";
        case kind::object:
            return "an object";
    }
    return "";
}

bool holds(const document::value& _value, kind _kind) {
    switch (_kind) {
        case kind::string:
            return _value.as_string().has_value();
        case kind::integer: {
            const auto number = _value.as_double();
            return number && std::trunc(*number) == *number;
        }
        case kind::object:
            return _value.as_object().has_value();
    }
    return false;
}

// As JSON names what a value holds.
std::string kind_of(const document::value& _value) {
    if (_value.as_string()) {
        return "a string";
    }
    if (_value.as_object()) {
        return "an object";
    }
    if (_value.as_array()) {
        return "an array";
    }
    if (_value.as_bool()) {
        return "a boolean";
    }
    if (_value.as_double()) {
        return "a number";
    }
    return "null";
}

bool is_known(const std::string& _name) {
    for (const auto& known : system_members) {
        if (_name == known.name) {
            return true;
        }
    }
    return false;
}

// What is wrong with the _known members of _object, at _path, one line each; empty when nothing
// is.
template <std::size_t count>
std::string problems_of(const document::dictionary& _object, const member (&_known)[count],
                        const std::string& _path) {
    std::string problems;
    for (const auto& known : _known) {
        const auto value = _object.get_value(known.name);
        std::string problem;
        if (!value) {
            problem = known.required ? " is missing" : "";
        } else if (!holds(*value, known.type)) {
            problem = std::string(" must be ") + name_of(known.type) + ", not " + kind_of(*value);
        }
        if (!problem.empty()) {
            problems += (problems.empty() ? "" : "\n") + _path + known.name + problem;
        }
    }
    return problems;
}

std::string string_member(const document::dictionary& _system, const std::string& _name) {
    const auto value = _system.get_value(_name);
    return value ? value->as_string().value_or("") : "";
}

}  // namespace

config::config(std::istream& _stream, const std::string& _file_name) {
    const auto parsed = document::config::create<document::type::json>(_stream);
    const std::string invalid = "Config file " + _file_name + " is invalid: ";
    const auto system_value = parsed->get_root().get_value("system");
    if (!system_value) {
        throw libs::core::exception(invalid + "the object system is missing", ZEL_LOCATION);
    }
    const auto system_object = system_value->as_object();
    if (!system_object) {
        throw libs::core::exception(
            invalid + "system must be an object, not " + kind_of(*system_value), ZEL_LOCATION);
    }
    auto problems = problems_of(*system_object, system_members, "system.");
    const auto curve = system_object->get_value("curve");
    const auto curve_object = curve ? curve->as_object() : boost::none;
    if (curve_object) {
        const auto curve_problems = problems_of(*curve_object, curve_members, "system.curve.");
        problems += (problems.empty() || curve_problems.empty() ? "" : "\n") + curve_problems;
        system.curve = curve_settings{string_member(*curve_object, "secret_key_file"),
                                      string_member(*curve_object, "clients_directory")};
    }
    if (problems.empty()) {
        problems = read_history(*system_object, system.history_address, system.history_bytes);
    }
    if (!problems.empty()) {
        throw libs::core::exception(invalid + problems, ZEL_LOCATION);
    }
    for (const auto& name : system_object->get_keys()) {
        if (!is_known(name)) {
            std::string warning = "Config file " + _file_name + ": system.";
            libs::core::append_escaped(warning, name);
            warnings.push_back(warning + " is not a member the relay knows, and is ignored");
        }
    }
    system.input_address = string_member(*system_object, "input_address");
    system.output_address = string_member(*system_object, "output_address");
    system.metrics_address = string_member(*system_object, "metrics_address");
}

config config::read(const std::string& _path) {
    errno = 0;
    std::ifstream stream(_path);
    // The document library would take a file it cannot read for an empty document. A directory
    // opens, and fails only at the first read; errno holds the system's reason either way.
    if (!stream || (stream.peek() == EOF && errno != 0)) {
        throw std::runtime_error(parse_failure + _path + ": " +
                                 std::system_category().message(errno));
    }
    try {
        return config(stream, _path);
    } catch (const std::runtime_error& _error) {
        const std::string reason = _error.what();
        if (reason.rfind(parse_failure, 0) != 0) {
            throw;
        }
        throw std::runtime_error(parse_failure + _path + ": " +
                                 reason.substr(parse_failure.size()));
    }
}

}  // namespace zel
