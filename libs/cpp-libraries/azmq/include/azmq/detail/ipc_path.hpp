#pragma once

#include <azmq/error.hpp>

#include <boost/system/error_code.hpp>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace azmq {
namespace detail {

// Whether an ipc endpoint may be bound. libzmq removes whatever is at the path before it
// binds: a file of someone else's, or the socket of a process still listening there, which
// would then go on running cut off from new peers. So a path that exists is "in use", like a
// busy TCP port, unless it is a socket that refuses connections: one left behind by a process
// that has gone, which libzmq may replace. Other transports, and the wildcard path for which
// libzmq makes a fresh one, are not its concern.
inline boost::system::error_code check_ipc_path_is_free(const std::string& _endpoint) {
    static constexpr char scheme[] = "ipc://";
    if (_endpoint.compare(0, sizeof scheme - 1, scheme) != 0) {
        return {};
    }
    const std::string path = _endpoint.substr(sizeof scheme - 1);
    if (path.empty() || path[0] == '*') {
        return {};
    }
    sockaddr_un address{};
    // libzmq would remove the file and only then find the path too long to bind.
    if (path.size() >= sizeof address.sun_path) {
        return make_error_code(ENAMETOOLONG);
    }
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        return {};
    }
    const boost::system::error_code in_use = make_error_code(EADDRINUSE);
    if (!S_ISSOCK(status.st_mode)) {
        return in_use;
    }
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        return make_error_code(errno);
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    int result;
    do {
        result = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (result != 0 && errno == EINTR);
    const int error = result == 0 ? 0 : errno;
    ::close(probe);
    // A listener whose backlog is full (EAGAIN), or a socket of another kind, is in use too.
    return error == ECONNREFUSED || error == ENOENT ? boost::system::error_code() : in_use;
}

}  // namespace detail
}  // namespace azmq
