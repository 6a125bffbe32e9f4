#pragma once

#include <sys/types.h>

#include <cstdint>

namespace relay_bench {

// User and system CPU time that every thread of process _pid has used so far (utime + stime
// of /proc/<pid>/stat), in seconds. The kernel counts it in clock ticks, 10 ms apart.
double cpu_seconds(pid_t _pid);

// A size field of /proc/<pid>/status, such as "VmRSS" or "VmHWM", in KiB.
std::int64_t status_kib(pid_t _pid, const char* _field);

}  // namespace relay_bench
