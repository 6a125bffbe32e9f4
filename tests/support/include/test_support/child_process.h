#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace test_support {

// What a finished child left behind.
struct child_result {
    bool exited = false;  // ended through exit() rather than a signal
    int exit_status = -1;
    int term_signal = 0;
    std::string standard_error;
    // Empty unless the child's standard output was captured.
    std::string standard_output;
};

// Runs _body in a forked child whose standard error is captured, and waits at
// most _timeout for it (a child still running then is killed with SIGKILL).
// The body's return value is the child's exit status. Used for what a process
// fixes once (environment read at first use, signal dispositions).
child_result run_in_child(const std::function<int()>& _body,
                          std::chrono::milliseconds _timeout = std::chrono::seconds(30));

// A program started with fork and exec, standard error captured to a pipe.
class child_process {
public:
    // What becomes of the child's standard output: /dev/null, or a pipe of its own, read
    // whenever standard error is.
    enum class output { discarded, captured };

    child_process(const std::string& _path, const std::vector<std::string>& _args,
                  const std::vector<std::string>& _extra_environment = {},
                  output _standard_output = output::discarded);
    ~child_process();
    child_process(const child_process&) = delete;
    child_process& operator=(const child_process&) = delete;

    int pid() const { return m_pid; }
    void send_signal(int _signal) const;
    // Waits at most _timeout; kills the child with SIGKILL if it is still running.
    child_result wait(std::chrono::milliseconds _timeout);
    // Waits until the captured standard error contains _text, at most _timeout.
    bool wait_for_stderr(const std::string& _text, std::chrono::milliseconds _timeout);
    const std::string& standard_error() const { return m_stderr; }
    // Closes the reading end of the child's standard error, as a reader that has gone would.
    void close_standard_error();

    // With a captured standard output: waits until it contains _text, at most _timeout.
    bool wait_for_stdout(const std::string& _text, std::chrono::milliseconds _timeout);
    const std::string& standard_output() const { return m_stdout; }
    // Closes the reading end of the child's standard output, as "| head -1" does.
    void close_standard_output();

private:
    void read_available(std::chrono::milliseconds _poll_timeout);
    bool wait_for(const std::string& _captured, const std::string& _text,
                  std::chrono::milliseconds _timeout);

    int m_pid = -1;
    int m_stderr_fd = -1;
    std::string m_stderr;
    int m_stdout_fd = -1;
    std::string m_stdout;
    bool m_reaped = false;
    child_result m_result;
};

}  // namespace test_support
