#pragma once

#include <string>

namespace test_support {

// A loopback TCP port for a test to bind, chosen so that nothing else takes it before the bind:
// it lies outside the kernel's ephemeral range (ip_local_port_range), from which the kernel picks
// the local ports of outgoing connections and of binds to port 0, and it stays reserved for this
// test process, against every other test process, until the process ends. Throws when no such
// port is free.
int free_tcp_port();

// "tcp://127.0.0.1:<free port>".
std::string free_tcp_endpoint();

// An ipc:// endpoint in a fresh path of the temporary directory.
std::string unique_ipc_endpoint();

}  // namespace test_support
