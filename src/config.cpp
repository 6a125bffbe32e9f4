#include "config.h"

#include <config/config.h>
#include <core/exception.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <tuple>

namespace zel {

namespace {

// The document library's own opening of its failures, which these keep.
const std::string parse_failure = "Cannot parse json: ";

// Without it the relay takes plain text; with it, a missing member is an error rather than a
// relay open to all.
bool has_curve(const libs::config::config& _document) {
    const auto system = _document.get_root().get_value("system");
    const auto members = system ? system->as_object() : boost::none;
    return members && members->get_value("curve");
}

}  // namespace

config::config(std::istream& _stream) {
    using document = libs::config::config;
    const auto parsed = document::create<libs::config::type::json>(_stream);
    const auto input = parsed->get_by_path<std::string>({"system", "input_address"});
    const auto output = parsed->get_by_path<std::string>({"system", "output_address"});
    const auto both = input + output;
    std::string reasons = both.reason();
    if (has_curve(*parsed)) {
        const auto curve =
            parsed->get_by_path<std::string>({"system", "curve", "secret_key_file"}) +
            parsed->get_by_path<std::string>({"system", "curve", "clients_directory"});
        if (curve.ok()) {
            system.curve = curve_settings{std::get<0>(curve.value()), std::get<1>(curve.value())};
        }
        reasons += (reasons.empty() || curve.ok() ? "" : "\n") + curve.reason();
    }
    if (!reasons.empty()) {
        throw libs::core::exception("Config file is invalid: " + reasons, ZEL_LOCATION);
    }
    std::tie(system.input_address, system.output_address) = both.value();
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
        return config(stream);
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
