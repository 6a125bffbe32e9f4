#include "reader_gone.h"

#include <poll.h>

namespace zel {
namespace tail {

bool reader_gone(int _fd) {
    // No event asked for: poll reports only the error, hang-up and invalid states.
    pollfd watched{_fd, 0, 0};
    return ::poll(&watched, 1, 0) == 1 && (watched.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

}  // namespace tail
}  // namespace zel
