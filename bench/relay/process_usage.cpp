#include "process_usage.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>

namespace relay_bench {
namespace {

std::string proc_file(pid_t _pid, const char* _name) {
    return "/proc/" + std::to_string(_pid) + "/" + _name;
}

}  // namespace

double cpu_seconds(pid_t _pid) {
    std::ifstream file(proc_file(_pid, "stat"));
    const std::string stat{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    // The program's name, second field, is in parentheses and may hold spaces: the fields are
    // counted from its closing one, after which the state is field 3.
    const auto name_end = stat.rfind(')');
    if (name_end == std::string::npos) {
        throw std::runtime_error("cannot read " + proc_file(_pid, "stat"));
    }
    std::istringstream fields(stat.substr(name_end + 1));
    std::string skipped;
    for (int field = 3; field < 14; ++field) {
        fields >> skipped;
    }
    unsigned long long user_ticks = 0;
    unsigned long long system_ticks = 0;
    if (!(fields >> user_ticks >> system_ticks)) {
        throw std::runtime_error("no utime and stime in " + proc_file(_pid, "stat"));
    }
    return double(user_ticks + system_ticks) / double(sysconf(_SC_CLK_TCK));
}

std::int64_t status_kib(pid_t _pid, const char* _field) {
    std::ifstream file(proc_file(_pid, "status"));
    const std::string prefix = std::string(_field) + ":";
    for (std::string line; std::getline(file, line);) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            return std::stoll(line.substr(prefix.size()));
        }
    }
    throw std::runtime_error(std::string("no ") + _field + " in " + proc_file(_pid, "status"));
}

}  // namespace relay_bench
