#include "relay_process.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

namespace relay_bench {
namespace {

std::string status_text(int _status) {
    if (WIFEXITED(_status)) {
        return "exit " + std::to_string(WEXITSTATUS(_status));
    }
    return "signal " + std::to_string(WTERMSIG(_status));
}

}  // namespace

relay_process::relay_process(const std::vector<std::string>& _command, int _core,
                             std::string _log_path)
    : m_program(_command.at(0)), m_log_path(std::move(_log_path)) {
    // Everything the child needs is made before fork: the harness has threads (libzmq's), so
    // the child may only make system calls until it execs.
    std::vector<char*> argv;
    for (const auto& argument : _command) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    cpu_set_t cores;
    CPU_ZERO(&cores);
    CPU_SET(_core, &cores);
    const pid_t parent = getpid();

    m_pid = fork();
    if (m_pid < 0) {
        throw std::system_error(errno, std::generic_category(), "fork");
    }
    if (m_pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The harness may have died before the line above took effect.
        if (getppid() != parent || sched_setaffinity(0, sizeof cores, &cores) != 0) {
            _exit(126);
        }
        const int log = open(m_log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
}

relay_process::~relay_process() {
    if (!m_reaped) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

std::string relay_process::stop() {
    if (!m_reaped) {
        kill(m_pid, SIGTERM);
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (waitpid(m_pid, &m_status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > give_up) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &m_status, 0);
                m_reaped = true;
                return "killed after 2 s without exiting on SIGTERM";
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        m_reaped = true;
    }
    return status_text(m_status);
}

std::string relay_process::describe() {
    if (!m_reaped && waitpid(m_pid, &m_status, WNOHANG) == m_pid) {
        m_reaped = true;
    }
    std::ostringstream text;
    text << m_program << " (pid " << m_pid << ") "
         << (m_reaped ? "ended: " + status_text(m_status) : "still running");
    std::ifstream log(m_log_path);
    text << "; its output:\n" << log.rdbuf();
    return text.str();
}

}  // namespace relay_bench
