#include <test_support/scratch_directory.h>

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace test_support {

scratch_directory::scratch_directory(const std::string& _prefix)
    : m_path(
          std::filesystem::absolute(std::filesystem::temp_directory_path() / (_prefix + "XXXXXX"))
              .string()) {
    if (::mkdtemp(m_path.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + m_path);
    }
}

scratch_directory::~scratch_directory() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

}  // namespace test_support
