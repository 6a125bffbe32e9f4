#include "config.h"

#include "history_config.h"

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

}  // namespace

config::config(std::istream& _stream) {
    using document = libs::config::config;
    const auto parsed = document::create<libs::config::type::json>(_stream);
    const auto input = parsed->get_by_path<std::string>({"system", "input_address"});
    const auto output = parsed->get_by_path<std::string>({"system", "output_address"});
    const auto both = input + output;
    if (!both.ok()) {
        throw libs::core::exception("Config file is invalid: " + both.reason(), ZEL_LOCATION);
    }
    std::tie(system.input_address, system.output_address) = both.value();
    read_history(*parsed, system.history_address, system.history_bytes);
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
