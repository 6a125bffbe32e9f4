#pragma once

namespace zel {
namespace libs {
namespace core {

// Makes a write to a pipe or a connection whose reader has gone fail with EPIPE
// instead of killing the process with SIGPIPE: standard error may be a pipe
// that its reader closed, and libraries below the process write to sockets
// with write(). A disposition the program chose itself is left alone.
void ignore_broken_pipes();

}  // namespace core
}  // namespace libs
}  // namespace zel
