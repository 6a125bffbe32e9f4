#include "endpoints.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace relay_bench {
namespace {

// A loopback socket bound to a port the kernel chose. Both ports of a pair are held at once,
// so that they differ; they are released for the relay to bind right after.
class port_reservation {
public:
    port_reservation() : m_socket(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_socket < 0 || bind(m_socket, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            const int error = errno;
            close(m_socket);
            throw std::system_error(error, std::generic_category(), "reserving a loopback port");
        }
        m_port = ntohs(address.sin_port);
    }

    ~port_reservation() { close(m_socket); }

    port_reservation(const port_reservation&) = delete;
    port_reservation& operator=(const port_reservation&) = delete;

    std::string endpoint() const { return "tcp://127.0.0.1:" + std::to_string(m_port); }

private:
    int m_socket;
    int m_port = 0;
};

}  // namespace

endpoints make_endpoints(transport _transport, const scratch_dir& _dir, int _run, bool _metrics,
                         bool _history) {
    const port_reservation input;
    const port_reservation output;
    const port_reservation metrics;
    const port_reservation history;
    const std::string metrics_address = _metrics ? metrics.endpoint().substr(6) : "";
    if (_transport == transport::tcp) {
        return {input.endpoint(),
                output.endpoint(),
                metrics_address,
                _history ? history.endpoint() : "",
                {},
                {},
                {}};
    }
    const std::string prefix = "ipc://" + _dir.path("run" + std::to_string(_run));
    return {prefix + "-in",
            prefix + "-out",
            metrics_address,
            _history ? prefix + "-history" : "",
            {},
            {},
            {}};
}

void endpoints::secure(zmq::socket_t& _socket) const {
    if (server_key.empty()) {
        return;
    }
    _socket.set(zmq::sockopt::curve_serverkey, server_key);
    _socket.set(zmq::sockopt::curve_publickey, public_key);
    _socket.set(zmq::sockopt::curve_secretkey, secret_key);
}

}  // namespace relay_bench
