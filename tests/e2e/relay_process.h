#pragma once

#include <test_support/child_process.h>
#include <test_support/scratch_directory.h>

#include <zmq.hpp>

#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace e2e {

// A configuration file in a fresh temporary directory, removed with it.
class config_file {
public:
    explicit config_file(const std::string& _contents);

    const std::string& path() const { return m_path; }

private:
    test_support::scratch_directory m_directory;
    std::string m_path;
};

// _members, when given, are further members of "system", as JSON text ("\"curve\": {...}").
std::string relay_config(const std::string& _input, const std::string& _output,
                         const std::string& _members = {});

// A loopback connection to _port, or -1.
int connect_to(int _port);
// The whole response to GET _target, read until the server closes; empty when it cannot connect.
std::string http_get(int _port, const std::string& _target);
// Scrapes /metrics until _pattern is found in the response, at most about 5 s.
bool scrape_until(int _port, const std::string& _pattern);

// A datagram socket standing in for a service manager: a child given environment() finds it in
// NOTIFY_SOCKET, and each datagram it sends is one notification.
class notify_socket {
public:
    notify_socket();
    ~notify_socket() { close(m_fd); }
    notify_socket(const notify_socket&) = delete;
    notify_socket& operator=(const notify_socket&) = delete;

    std::string environment() const { return "NOTIFY_SOCKET=" + m_path; }
    // The next notification; empty when none comes within _timeout.
    std::string receive(std::chrono::milliseconds _timeout);

private:
    test_support::scratch_directory m_directory;
    std::string m_path;
    int m_fd;
};

// The real relay binary running on loopback endpoints of its own.
class relay_process {
public:
    explicit relay_process(const std::string& _input_endpoint = {},
                           const std::string& _output_endpoint = {},
                           const std::vector<std::string>& _environment = {},
                           const std::string& _members = {});

    const std::string& input() const { return m_input; }
    const std::string& output() const { return m_output; }
    const std::string& config_path() const { return m_config->path(); }
    test_support::child_process& process() { return *m_process; }

    // Pushes "probe" frames until _subscriber (whose subscriptions must let
    // them through) gets one, so that the relay is bound and the subscription
    // has reached it. The probes are drained from _subscriber up to a final
    // "probes end" frame before it returns.
    bool wait_until_relaying(zmq::context_t& _context, zmq::socket_t& _subscriber);

private:
    std::string m_input;
    std::string m_output;
    std::unique_ptr<config_file> m_config;
    std::unique_ptr<test_support::child_process> m_process;
};

// Reads _subscriber up to and including the "probes end" frame that ends
// wait_until_relaying's probes; false when it does not arrive.
bool drain_probes(zmq::socket_t& _subscriber);

// Runs the relay binary with _args and _environment to its end, at most _timeout.
test_support::child_result run_relay(const std::vector<std::string>& _args,
                                     const std::vector<std::string>& _environment = {},
                                     std::chrono::milliseconds _timeout = std::chrono::seconds(20));

// VmRSS of _pid in MiB; 0 when it cannot be read.
double resident_mib(int _pid);

}  // namespace e2e
