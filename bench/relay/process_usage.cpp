#include "process_usage.h"

#include <dirent.h>
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

// The name and utime + stime of a /proc stat file, of a process or of one of its threads.
thread_usage read_stat(const std::string& _path) {
    std::ifstream file(_path);
    const std::string stat{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    // The program's name, second field, is in parentheses and may hold spaces: the fields are
    // counted from its closing one, after which the state is field 3.
    const auto name_start = stat.find('(');
    const auto name_end = stat.rfind(')');
    if (name_start == std::string::npos || name_end == std::string::npos) {
        throw std::runtime_error("cannot read " + _path);
    }
    std::istringstream fields(stat.substr(name_end + 1));
    std::string skipped;
    for (int field = 3; field < 14; ++field) {
        fields >> skipped;
    }
    unsigned long long user_ticks = 0;
    unsigned long long system_ticks = 0;
    if (!(fields >> user_ticks >> system_ticks)) {
        throw std::runtime_error("no utime and stime in " + _path);
    }
    thread_usage usage;
    usage.name = stat.substr(name_start + 1, name_end - name_start - 1);
    usage.cpu_seconds = double(user_ticks + system_ticks) / double(sysconf(_SC_CLK_TCK));
    return usage;
}

}  // namespace

double cpu_seconds(pid_t _pid) {
    return read_stat(proc_file(_pid, "stat")).cpu_seconds;
}

std::vector<thread_usage> thread_cpu_seconds(pid_t _pid) {
    std::vector<thread_usage> threads;
    const std::string tasks = proc_file(_pid, "task");
    DIR* directory = opendir(tasks.c_str());
    if (directory == nullptr) {
        throw std::runtime_error("cannot list " + tasks);
    }
    while (const dirent* entry = readdir(directory)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        try {
            thread_usage& usage =
                threads.emplace_back(read_stat(tasks + "/" + entry->d_name + "/stat"));
            usage.tid = pid_t(std::stol(entry->d_name));
        } catch (const std::runtime_error&) {
            // A thread that ended meanwhile.
            threads.pop_back();
        }
    }
    closedir(directory);
    return threads;
}

std::vector<core_ticks> core_usage() {
    std::ifstream file("/proc/stat");
    std::vector<core_ticks> cores;
    for (std::string line; std::getline(file, line);) {
        // "cpu0 user nice system idle iowait irq softirq steal ...", after the machine's "cpu".
        if (line.compare(0, 3, "cpu") != 0 || line.size() < 4 || line[3] == ' ') {
            continue;
        }
        std::istringstream fields(line.substr(line.find(' ')));
        core_ticks& core = cores.emplace_back();
        unsigned long long ticks = 0;
        for (int field = 0; field < 8 && fields >> ticks; ++field) {
            core.total += ticks;
            // Idle and waiting for I/O.
            if (field != 3 && field != 4) {
                core.busy += ticks;
            }
        }
    }
    return cores;
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
