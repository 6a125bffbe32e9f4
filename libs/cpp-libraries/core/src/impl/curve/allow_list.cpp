#include <core/impl/curve/allow_list.h>

#include <core/append_escaped.h>
#include <core/curve/key_file.h>
#include <core/exception.h>

#include <zmq.h>

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace zel {
namespace libs {
namespace core {
namespace curve {

allow_list allow_list::read(const std::string& _directory) {
    allow_list list;
    std::error_code error;
    std::filesystem::directory_iterator files(_directory, error);
    for (; !error && files != std::filesystem::directory_iterator(); files.increment(error)) {
        const auto& path = files->path();
        if (path.extension() != ".pub") {
            continue;
        }
        // Opening a pipe or a device could wait for ever.
        std::error_code not_a_file;
        if (!files->is_regular_file(not_a_file)) {
            std::string message = "Key file ";
            append_escaped(message, path.string());
            list.m_skipped.push_back(message + ": not a regular file");
            continue;
        }
        try {
            const std::string key = read_key_file(path.string());
            std::uint8_t binary[32];
            zmq_z85_decode(binary, key.c_str());
            list.m_keys.emplace(reinterpret_cast<const char*>(binary), sizeof binary);
        } catch (const exception& _error) {
            list.m_skipped.push_back(_error.get_string_error());
        }
    }
    if (error) {
        std::string message = "Cannot read the clients directory ";
        append_escaped(message, _directory);
        throw exception(message + ": " + error.message(), ZEL_LOCATION);
    }
    return list;
}

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
