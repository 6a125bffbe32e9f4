// CPU per received frame: a zmq::socket's receive callback against a bare azmq asynchronous
// receive loop on the same kind of io_context. Each batch of 64-byte frames is queued over
// inproc before the timed part, so the figures are the receiving side's own cost.
#include <core/core.h>
#include <core/events_loop.h>
#include <core/logger.h>
#include <core/zmq/manager.h>

#include <azmq/socket.hpp>

#include <benchmark/benchmark.h>
#include <syslog.h>

#include <array>
#include <cstddef>
#include <string>

namespace core = zel::libs::core;

namespace {

// Within the default high-water marks of both ends, so that a batch is queued whole.
constexpr int frames_per_batch = 1000;
constexpr std::size_t frame_size = 64;

// A PUSH socket that queues batches of frames on an inproc endpoint of its own.
class producer {
public:
    explicit producer(boost::asio::io_context& _io_context)
        : m_socket(_io_context, ZMQ_PUSH), m_endpoint("inproc://bench-zmq-socket-" + next_id()) {
        m_socket.bind(m_endpoint);
        m_payload.fill('x');
    }

    const std::string& endpoint() const { return m_endpoint; }

    void queue_batch() {
        for (int i = 0; i < frames_per_batch; ++i) {
            m_socket.send(azmq::message(m_payload.data(), m_payload.size()));
        }
    }

private:
    static std::string next_id() {
        static int id = 0;
        return std::to_string(id++);
    }

    azmq::socket m_socket;
    std::string m_endpoint;
    std::array<char, frame_size> m_payload;
};

template <typename Receive>
void run_batches(benchmark::State& _state, producer& _producer, Receive _receive) {
    for (auto _ : _state) {
        _state.PauseTiming();
        _producer.queue_batch();
        _state.ResumeTiming();
        _receive();
    }
    _state.SetItemsProcessed(_state.iterations() * frames_per_batch);
}

void zmq_socket_callback(benchmark::State& _state) {
    setlogmask(LOG_UPTO(LOG_ERR));
    core::logger logger("bench", "main");
    auto the_core = core::core::create(logger);
    auto loop = the_core->create_events_loop("main");
    producer source(loop->get_io_context());
    auto pull = loop->get_zmq().connect(core::zmq::socket::type::pull, source.endpoint());
    int received = 0;
    pull->set_receive_callback([&](core::zmq::message&) {
        if (++received == frames_per_batch) {
            loop->stop();
        }
    });
    run_batches(_state, source, [&] {
        received = 0;
        loop->get_io_context().restart();
        loop->run();
    });
}
BENCHMARK(zmq_socket_callback);

// The reference: azmq's own receive, re-armed by its handler until the batch is in.
class bare_receiver {
public:
    explicit bare_receiver(azmq::socket& _socket) : m_socket(_socket) {}

    void start() {
        m_remaining = frames_per_batch;
        arm();
    }

private:
    void arm() {
        m_socket.async_receive(
            [this](boost::system::error_code& _error, azmq::message&, std::size_t) {
                if (!_error && --m_remaining > 0) {
                    arm();
                }
            });
    }

    azmq::socket& m_socket;
    int m_remaining = 0;
};

void azmq_receive_loop(benchmark::State& _state) {
    boost::asio::io_context io_context;
    producer source(io_context);
    azmq::socket pull(io_context, ZMQ_PULL);
    pull.connect(source.endpoint());
    bare_receiver receiver(pull);
    run_batches(_state, source, [&] {
        receiver.start();
        io_context.run();
        io_context.restart();
    });
}
BENCHMARK(azmq_receive_loop);

}  // namespace

BENCHMARK_MAIN();
