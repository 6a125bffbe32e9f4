#include <test_support/child_process.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace test_support {
namespace {

using clock = std::chrono::steady_clock;

child_result decode(int _status) {
    child_result result;
    if (WIFEXITED(_status)) {
        result.exited = true;
        result.exit_status = WEXITSTATUS(_status);
    } else if (WIFSIGNALED(_status)) {
        result.term_signal = WTERMSIG(_status);
    }
    return result;
}

// Reads what _fd holds without waiting for more.
void drain(int _fd, std::string& _captured) {
    if (_fd < 0) {
        return;
    }
    const int flags = fcntl(_fd, F_GETFL);
    fcntl(_fd, F_SETFL, flags | O_NONBLOCK);
    char buffer[4096];
    ssize_t n;
    while ((n = read(_fd, buffer, sizeof buffer)) > 0) {
        _captured.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace

child_process::child_process(const std::string& _path, const std::vector<std::string>& _args,
                             const std::vector<std::string>& _extra_environment,
                             output _standard_output) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    int out_fds[2] = {-1, -1};
    if (_standard_output == output::captured && pipe2(out_fds, O_CLOEXEC) != 0) {
        close(fds[0]);
        close(fds[1]);
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> arguments{_path};
    arguments.insert(arguments.end(), _args.begin(), _args.end());
    std::vector<char*> argv;
    for (auto& a : arguments) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    m_pid = fork();
    if (m_pid < 0) {
        for (const int fd : {fds[0], fds[1], out_fds[0], out_fds[1]}) {
            if (fd >= 0) {
                close(fd);
            }
        }
        throw std::runtime_error("fork failed");
    }
    if (m_pid == 0) {
        // A test that dies must not leave its relay running, nor holding the
        // output pipe of whoever runs the suite.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (out_fds[1] >= 0) {
            dup2(out_fds[1], STDOUT_FILENO);
        } else {
            dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
        }
        dup2(fds[1], STDERR_FILENO);
        for (const auto& variable : _extra_environment) {
            putenv(const_cast<char*>(variable.c_str()));
        }
        execv(_path.c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    m_stderr_fd = fds[0];
    if (out_fds[1] >= 0) {
        close(out_fds[1]);
        m_stdout_fd = out_fds[0];
    }
}

child_process::~child_process() {
    if (!m_reaped) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_stderr_fd >= 0) {
        close(m_stderr_fd);
    }
    if (m_stdout_fd >= 0) {
        close(m_stdout_fd);
    }
}

void child_process::send_signal(int _signal) const {
    kill(m_pid, _signal);
}

void child_process::close_standard_error() {
    close(m_stderr_fd);
    m_stderr_fd = -1;
}

void child_process::close_standard_output() {
    if (m_stdout_fd >= 0) {
        close(m_stdout_fd);
        m_stdout_fd = -1;
    }
}

void child_process::read_available(std::chrono::milliseconds _poll_timeout) {
    // Both pipes at once: a child blocked on a full one would never write to the other. A
    // closed one is -1, which poll skips.
    pollfd pfds[] = {{m_stderr_fd, POLLIN, 0}, {m_stdout_fd, POLLIN, 0}};
    std::string* const captured[] = {&m_stderr, &m_stdout};
    if (poll(pfds, 2, static_cast<int>(_poll_timeout.count())) <= 0) {
        return;
    }
    for (int i = 0; i < 2; ++i) {
        if (pfds[i].revents == 0) {
            continue;
        }
        char buffer[4096];
        const auto n = read(pfds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            captured[i]->append(buffer, static_cast<size_t>(n));
        }
    }
}

bool child_process::wait_for(const std::string& _captured, const std::string& _text,
                             std::chrono::milliseconds _timeout) {
    const auto deadline = clock::now() + _timeout;
    while (_captured.find(_text) == std::string::npos) {
        if (clock::now() >= deadline) {
            return false;
        }
        read_available(std::chrono::milliseconds(20));
    }
    return true;
}

bool child_process::wait_for_stderr(const std::string& _text, std::chrono::milliseconds _timeout) {
    return wait_for(m_stderr, _text, _timeout);
}

bool child_process::wait_for_stdout(const std::string& _text, std::chrono::milliseconds _timeout) {
    return wait_for(m_stdout, _text, _timeout);
}

child_result child_process::wait(std::chrono::milliseconds _timeout) {
    if (m_reaped) {
        return m_result;
    }
    const auto deadline = clock::now() + _timeout;
    int status = 0;
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
        if (clock::now() >= deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            break;
        }
        read_available(std::chrono::milliseconds(10));
    }
    m_reaped = true;
    // Drain what the child wrote before it ended.
    drain(m_stderr_fd, m_stderr);
    drain(m_stdout_fd, m_stdout);
    m_result = decode(status);
    m_result.standard_error = m_stderr;
    m_result.standard_output = m_stdout;
    return m_result;
}

child_result run_in_child(const std::function<int()>& _body, std::chrono::milliseconds _timeout) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], STDERR_FILENO);
        int status = 1;
        try {
            status = _body();
        } catch (...) {
            status = 99;
        }
        _exit(status);
    }
    close(fds[1]);
    std::string captured;
    const auto deadline = clock::now() + _timeout;
    int status = 0;
    bool killed = false;
    for (;;) {
        pollfd pfd{fds[0], POLLIN, 0};
        const int ready = poll(&pfd, 1, 20);
        if (ready > 0) {
            char buffer[4096];
            const auto n = read(fds[0], buffer, sizeof buffer);
            if (n > 0) {
                captured.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n == 0) {
                break;  // every writer closed: the child is ending
            }
        }
        if (clock::now() >= deadline) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
    }
    close(fds[0]);
    waitpid(pid, &status, 0);
    auto result = decode(status);
    if (killed) {
        result.exited = false;
    }
    result.standard_error = std::move(captured);
    return result;
}

}  // namespace test_support
