#include <core/curve/key_file.h>

#include <core/append_escaped.h>
#include <core/exception.h>

#include <zmq.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>

namespace zel {
namespace libs {
namespace core {
namespace curve {
namespace {

// A key and a few comment lines take far less; the bound keeps a wrong path from being read whole.
constexpr std::size_t max_key_file_size = 4096;
constexpr std::size_t z85_key_size = 40;

[[noreturn]] void refuse(const std::string& _path, const std::string& _reason) {
    std::string message = "Key file ";
    append_escaped(message, _path);
    throw exception(message + ": " + _reason, ZEL_LOCATION);
}

std::string read_bounded(const std::string& _path) {
    errno = 0;
    std::ifstream stream(_path, std::ios::binary);
    if (!stream) {
        refuse(_path, std::strerror(errno));
    }
    std::string contents(max_key_file_size + 1, '\0');
    stream.read(&contents[0], static_cast<std::streamsize>(contents.size()));
    // A directory opens, and fails only at the first read.
    if (stream.bad()) {
        refuse(_path, std::strerror(errno != 0 ? errno : EIO));
    }
    contents.resize(static_cast<std::size_t>(stream.gcount()));
    if (contents.size() > max_key_file_size) {
        refuse(_path, "larger than " + std::to_string(max_key_file_size) + " bytes");
    }
    return contents;
}

bool is_z85_key(const std::string& _key) {
    std::uint8_t decoded[32];
    return _key.size() == z85_key_size && zmq_z85_decode(decoded, _key.c_str()) != nullptr;
}

}  // namespace

std::string read_key_file(const std::string& _path) {
    std::istringstream lines(read_bounded(_path));
    std::string key;
    for (std::string line; std::getline(lines, line);) {
        line.erase(line.find_last_not_of(" \t\r") + 1);
        // '#' is a Z85 digit too: a line that is a whole key is one, whatever its first byte.
        if (line.empty() || (line.front() == '#' && !is_z85_key(line))) {
            continue;
        }
        if (!key.empty()) {
            refuse(_path, "holds more than one key");
        }
        key = line;
    }
    if (key.empty()) {
        refuse(_path, "holds no key");
    }
    if (!is_z85_key(key)) {
        refuse(_path, "holds no Z85 key of 40 characters");
    }
    return key;
}

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
