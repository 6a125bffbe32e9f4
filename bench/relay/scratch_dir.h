#pragma once

#include <string>

namespace relay_bench {

// A private directory under /tmp for the relays' configuration files, logs and ipc endpoints,
// removed with everything in it when the harness ends.
class scratch_dir {
public:
    scratch_dir();
    ~scratch_dir();

    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;

    // _name inside the directory.
    std::string path(const std::string& _name) const { return m_path + "/" + _name; }

private:
    std::string m_path;
};

}  // namespace relay_bench
