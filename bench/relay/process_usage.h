#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace relay_bench {

// User and system CPU time that every thread of process _pid has used so far (utime + stime
// of /proc/<pid>/stat), in seconds. The kernel counts it in clock ticks, 10 ms apart.
double cpu_seconds(pid_t _pid);

// One thread of a process: its name (libzmq names its I/O threads "ZMQbg/IO/0" on) and the
// CPU time it has used so far, as cpu_seconds counts it.
struct thread_usage {
    pid_t tid = 0;
    std::string name;
    double cpu_seconds = 0;
};

// Every thread of _pid now.
std::vector<thread_usage> thread_cpu_seconds(pid_t _pid);

// How busy each core of the machine has been since it booted: ticks it ran anything (all
// processes, not only the relay's), and all its ticks, from /proc/stat.
struct core_ticks {
    unsigned long long busy = 0;
    unsigned long long total = 0;
};

std::vector<core_ticks> core_usage();

// A size field of /proc/<pid>/status, such as "VmRSS" or "VmHWM", in KiB.
std::int64_t status_kib(pid_t _pid, const char* _field);

}  // namespace relay_bench
