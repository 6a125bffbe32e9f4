#include <core/ignore_broken_pipes.h>

#include <signal.h>

namespace zel {
namespace libs {
namespace core {

void ignore_broken_pipes() {
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
        (current.sa_flags & SA_SIGINFO) == 0) {
        signal(SIGPIPE, SIG_IGN);
    }
}

}  // namespace core
}  // namespace libs
}  // namespace zel
