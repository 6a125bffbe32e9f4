#include "handshakes.h"

#include "clock.h"
#include "process_usage.h"
#include "relay_run.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace relay_bench {
namespace {

// A handshake not done by then means the relay refuses the generator's keys.
constexpr int handshake_timeout_ms = 2000;

// Connects a client, waits until its handshake is done, and closes it.
void handshake(zmq::context_t& _context, const endpoints& _endpoints, int _index) {
    zmq::socket_t client(_context, zmq::socket_type::push);
    client.set(zmq::sockopt::linger, 0);
    _endpoints.secure(client);
    const std::string monitor = "inproc://handshake-" + std::to_string(_index);
    zmq_socket_monitor(client.handle(), monitor.c_str(), ZMQ_EVENT_HANDSHAKE_SUCCEEDED);
    zmq::socket_t events(_context, zmq::socket_type::pair);
    events.set(zmq::sockopt::rcvtimeo, handshake_timeout_ms);
    events.connect(monitor);
    client.connect(_endpoints.input);
    zmq::message_t event;
    if (!events.recv(event)) {
        throw std::runtime_error("a handshake took more than 2 s");
    }
    zmq_socket_monitor(client.handle(), nullptr, 0);
}

}  // namespace

handshake_figures measure_handshakes(relay_kind _relay, double _seconds, zmq::context_t& _context,
                                     const scratch_dir& _dir, int _run) {
    return with_relay(_relay, transport::tcp, _dir, _run,
                      [&](relay_process& _process, const endpoints& _endpoints) {
                          // The first waits for the relay to bind, and is not counted.
                          handshake(_context, _endpoints, 0);
                          const double cpu_before = cpu_seconds(_process.pid());
                          const std::int64_t start = now_ns();
                          int count = 0;
                          while (now_ns() - start < std::int64_t(_seconds * 1e9)) {
                              handshake(_context, _endpoints, ++count);
                          }
                          const double elapsed = double(now_ns() - start) / 1e9;
                          handshake_figures figures;
                          figures.per_second = count / elapsed;
                          figures.cpu_us_per_handshake =
                              1e6 * (cpu_seconds(_process.pid()) - cpu_before) / count;
                          _process.stop();
                          return figures;
                      });
}

}  // namespace relay_bench
