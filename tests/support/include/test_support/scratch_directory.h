#pragma once

#include <string>

namespace test_support {

// A fresh directory under the system's temporary directory, removed with everything in it when
// the object goes. Its path is absolute, so that a process that changes directory still finds it.
class scratch_directory {
public:
    // _prefix begins the directory's name; throws std::system_error when it cannot be made.
    explicit scratch_directory(const std::string& _prefix);
    ~scratch_directory();
    scratch_directory(const scratch_directory&) = delete;
    scratch_directory& operator=(const scratch_directory&) = delete;

    const std::string& path() const { return m_path; }
    // _name inside the directory.
    std::string path(const std::string& _name) const { return m_path + "/" + _name; }

private:
    std::string m_path;
};

}  // namespace test_support
