#include "config.h"

#include "history/history_config.h"

#include <config/config.h>
#include <core/append_escaped.h>
#include <core/curve/key_pair.h>
#include <core/exception.h>
#include <core/host_and_port.h>

#include <sys/sysinfo.h>
#include <sys/un.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace zel {

namespace {

namespace document = libs::config;

// The document library's own opening of its failures, which these keep.
const std::string parse_failure = "Cannot parse json: ";

enum class kind { string, integer, object };

// What a string must hold beyond being one; an empty optional address is off.
enum class form { any, endpoint, optional_endpoint, optional_host_and_port };

struct member {
    const char* name;
    kind type;
    bool required;
    form shape = form::any;
};

// Every member of "system" the relay knows, with the type it must have; any other is warned
// about. A piece that reads a member of its own adds a line here.
constexpr member system_members[] = {
    {"input_address", kind::string, true, form::endpoint},
    {"output_address", kind::string, true, form::endpoint},
    {"metrics_address", kind::string, false, form::optional_host_and_port},
    {"history_address", kind::string, false, form::optional_endpoint},
    {"history_bytes", kind::integer, false},
    {"curve", kind::object, false},
};

// A curve object is whole or an error: never a relay open to all for want of a member.
constexpr member curve_members[] = {
    {"secret_key_file", kind::string, true},
    {"clients_directory", kind::string, true},
};

// Digits from 0 to 65535; or, where ZeroMQ picks a free port, "*".
bool is_port(const std::string& _port, bool _zeromq) {
    if (_zeromq && _port == "*") {
        return true;
    }
    return !_port.empty() && _port.size() <= 5 &&
           _port.find_first_not_of("0123456789") == std::string::npos && std::stoul(_port) <= 65535;
}

bool is_host_and_port(const std::string& _address, bool _zeromq) {
    const auto parts = libs::core::split_host_and_port(_address);
    return parts && !parts->host.empty() && is_port(parts->port, _zeromq);
}

// The endpoints ZeroMQ binds that another process can reach; a socket path has a bounded length.
bool is_endpoint(const std::string& _address) {
    const std::string tcp = "tcp://";
    const std::string ipc = "ipc://";
    if (_address.rfind(tcp, 0) == 0) {
        return is_host_and_port(_address, true);
    }
    return _address.rfind(ipc, 0) == 0 && _address.size() > ipc.size() &&
           _address.size() - ipc.size() < sizeof(sockaddr_un::sun_path);
}

// What is wrong with the form of the string _value; empty when nothing is. A NUL byte would end
// the address the system reads early, binding another than the one written.
std::string form_problem(const std::string& _value, form _shape) {
    if (_shape == form::any || (_value.empty() && _shape != form::endpoint)) {
        return {};
    }
    const bool zeromq = _shape != form::optional_host_and_port;
    if (_value.find('\0') == std::string::npos &&
        (zeromq ? is_endpoint(_value) : is_host_and_port(_value, false))) {
        return {};
    }
    std::string problem =
        zeromq ? " must be tcp://HOST:PORT or ipc://PATH, not \"" : " must be HOST:PORT, not \"";
    libs::core::append_escaped(problem, _value);
    return problem + "\"";
}

// What one allocation can have at most: the kernel refuses outright one larger than the
// machine's memory and swap.
std::uint64_t machine_memory() {
    struct sysinfo info {};
    ::sysinfo(&info);
    return (static_cast<std::uint64_t>(info.totalram) + info.totalswap) * info.mem_unit;
}

std::string invalid_file(const std::string& _file_name) {
    return "Config file " + _file_name + " is invalid: ";
}

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
        } else if (known.type == kind::string) {
            problem = form_problem(*value->as_string(), known.shape);
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

// The file at _path whole, reading no more than the bound past it: a wrong path (a device, a
// log) is refused rather than read to the end.
std::string read_text(const std::string& _path) {
    errno = 0;
    std::ifstream file(_path, std::ios::binary);
    if (!file) {
        throw std::runtime_error(parse_failure + _path + ": " +
                                 std::system_category().message(errno));
    }
    std::string text;
    std::array<char, 65536> chunk;
    do {
        file.read(chunk.data(), chunk.size());
        text.append(chunk.data(), static_cast<std::size_t>(file.gcount()));
    } while (file && text.size() <= config::max_file_bytes);
    // A directory opens, and fails only at the first read.
    if (file.bad()) {
        throw std::runtime_error(parse_failure + _path + ": " +
                                 std::system_category().message(errno != 0 ? errno : EIO));
    }
    if (text.size() > config::max_file_bytes) {
        throw libs::core::exception("Config file " + _path + " is larger than " +
                                        std::to_string(config::max_file_bytes) +
                                        " bytes (16 MiB), the most the relay reads",
                                    ZEL_LOCATION);
    }
    return text;
}

// The key file and the clients directory a start reads before it binds, read the same way.
void check_curve_files(const config& _config, const std::string& _file_name) {
    if (!_config.system.curve) {
        return;
    }
    const auto& curve = *_config.system.curve;
    try {
        libs::core::curve::key_pair::read(curve.secret_key_file);
    } catch (const libs::core::exception& _error) {
        throw libs::core::exception(
            invalid_file(_file_name) + "system.curve.secret_key_file: " + _error.get_string_error(),
            ZEL_LOCATION);
    }
    std::error_code error;
    std::filesystem::directory_iterator(curve.clients_directory, error);
    if (error) {
        std::string message = invalid_file(_file_name) +
                              "system.curve.clients_directory: Cannot read the clients directory ";
        libs::core::append_escaped(message, curve.clients_directory);
        throw libs::core::exception(message + ": " + error.message(), ZEL_LOCATION);
    }
}

}  // namespace

config::config(std::istream& _stream, const std::string& _file_name) {
    const auto parsed = document::config::create<document::type::json>(_stream);
    const std::string invalid = invalid_file(_file_name);
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
    const auto memory = machine_memory();
    if (problems.empty() && !system.history_address.empty() && system.history_bytes > memory) {
        problems = "system.history_bytes is " + std::to_string(system.history_bytes) +
                   " bytes, more than the " + std::to_string(memory) +
                   " bytes of this machine's memory and swap";
    }
    if (!problems.empty()) {
        throw libs::core::exception(invalid + problems, ZEL_LOCATION);
    }
    for (const auto& path : parsed->repeated_members()) {
        std::string warning = "Config file " + _file_name + ": ";
        libs::core::append_escaped(warning, path);
        warnings.push_back(warning + " is given more than once; the last one counts");
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
    const auto text = read_text(_path);
    std::istringstream stream(text);
    try {
        config result(stream, _path);
        check_curve_files(result, _path);
        return result;
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
