#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace relay_bench {

// A relay program started for one measurement, on a core of its own. It dies with the
// harness, and is killed when this object goes without stop() having been called, so that no
// failure leaves a relay running.
class relay_process {
public:
    // Runs _command (program path first) pinned to _core, with its standard output and error
    // written to _log_path.
    relay_process(const std::vector<std::string>& _command, int _core, std::string _log_path);
    ~relay_process();

    relay_process(const relay_process&) = delete;
    relay_process& operator=(const relay_process&) = delete;

    pid_t pid() const { return m_pid; }

    // Sends SIGTERM and waits for the exit, killing the relay if it takes more than two
    // seconds. Returns how it ended: "exit 0" for a clean stop.
    std::string stop();

    // How it ended, if it has, and what it wrote: for the message of a failed measurement.
    std::string describe();

private:
    std::string m_program;
    pid_t m_pid;
    bool m_reaped = false;
    int m_status = 0;
    std::string m_log_path;
};

}  // namespace relay_bench
