#pragma once

#include <string>

namespace test_support {

// A loopback TCP port that was free a moment ago.
int free_tcp_port();

// "tcp://127.0.0.1:<free port>".
std::string free_tcp_endpoint();

// An ipc:// endpoint in a fresh path of the temporary directory.
std::string unique_ipc_endpoint();

}  // namespace test_support
