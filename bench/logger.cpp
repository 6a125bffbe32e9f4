// The cost of one record on the caller's thread: an info record with one
// argument, with the system log masking it out so that only composing the
// record and the debug socket are measured.
#include <core/logger.h>

#include <benchmark/benchmark.h>
#include <syslog.h>
#include <zmq.hpp>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <thread>

namespace core = zel::libs::core;

namespace {

void log_records(benchmark::State& _state, const core::logger& _logger) {
    // After the logger's own mask: records at info and below stop there.
    setlogmask(LOG_UPTO(LOG_ERR));
    std::int64_t n = 0;
    for (auto _ : _state) {
        _logger.info("record %1%") % n++;
    }
    _state.SetItemsProcessed(_state.iterations());
}

void socket_off(benchmark::State& _state) {
    core::logger logger("bench", "main");
    logger.set_writing_to_socket(false);
    log_records(_state, logger);
}

void socket_without_peer(benchmark::State& _state) {
    core::logger logger("bench", "main");
    log_records(_state, logger);
}

// A relay stand-in that reads as fast as it can on a thread of its own.
class draining_peer {
public:
    draining_peer() : m_socket(m_context, zmq::socket_type::pull) {
        m_socket.set(zmq::sockopt::linger, 0);
        m_socket.set(zmq::sockopt::rcvtimeo, 100);
        m_socket.bind("tcp://127.0.0.1:*");
        m_endpoint = m_socket.get(zmq::sockopt::last_endpoint);
        m_thread = std::thread([this] {
            zmq::message_t frame;
            while (!m_stop) {
                if (m_socket.recv(frame)) {
                    ++m_received;
                }
            }
        });
    }
    ~draining_peer() {
        m_stop = true;
        m_thread.join();
    }

    const std::string& endpoint() const { return m_endpoint; }
    std::int64_t received() const { return m_received; }

private:
    zmq::context_t m_context;
    zmq::socket_t m_socket;
    std::string m_endpoint;
    std::atomic<bool> m_stop{false};
    std::atomic<std::int64_t> m_received{0};
    std::thread m_thread;
};

void socket_with_draining_peer(benchmark::State& _state) {
    draining_peer peer;
    core::logger logger("bench", "main");
    logger.connect(peer.endpoint());
    log_records(_state, logger);
    // Records the peer could not take at once were dropped, not waited for.
    _state.counters["delivered"] =
        static_cast<double>(peer.received()) / static_cast<double>(_state.iterations());
}

BENCHMARK(socket_off);
BENCHMARK(socket_without_peer);
BENCHMARK(socket_with_draining_peer);

}  // namespace

int main(int argc, char** argv) {
    // Launched "by systemd": no copy of the records on standard error, where
    // they would drown the results.
    setenv("ZEL_LAUNCHED_BY_SYSTEMD", "1", 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
