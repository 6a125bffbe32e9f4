#pragma once

namespace zel {
namespace tail {

// Whether the reader of _fd (a pipe, a socket, a terminal) has gone, as with "| head -0": asked
// without writing, so that the tail notices even when no frame comes. A file never has.
bool reader_gone(int _fd);

}  // namespace tail
}  // namespace zel
