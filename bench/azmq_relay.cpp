// Frames per second through a PULL -> PUB relay: the binding's asynchronous loop on one
// io_context (receive completes, the handler re-arms, then sends the frame itself) against a
// plain blocking zmq_msg_recv / zmq_msg_send loop on the same sockets. Each batch of 64-byte
// frames is queued on the PULL side before the timed part, and the subscriber is drained
// after it, so the figures are the relay's own cost.
#include <azmq/socket.hpp>

#include <benchmark/benchmark.h>
#include <zmq.h>

#include <boost/asio/io_context.hpp>

#include <array>
#include <cstddef>
#include <string>

namespace {

constexpr int frames_per_batch = 10000;
constexpr std::size_t frame_size = 64;

void unbounded_queues(azmq::socket& _socket) {
    const int unlimited = 0;
    zmq_setsockopt(_socket.native_handle(), ZMQ_SNDHWM, &unlimited, sizeof unlimited);
    zmq_setsockopt(_socket.native_handle(), ZMQ_RCVHWM, &unlimited, sizeof unlimited);
}

// A producer, the relay's two sockets and a subscriber, over inproc.
class relay_sockets {
public:
    explicit relay_sockets(boost::asio::io_context& _io_context)
        : m_producer(_io_context, ZMQ_PUSH)
        , m_input(_io_context)
        , m_output(_io_context)
        , m_subscriber(_io_context) {
        static int instance = 0;
        const std::string name = "inproc://bench-relay-" + std::to_string(instance++);
        for (azmq::socket* socket :
             {&m_producer, static_cast<azmq::socket*>(&m_input),
              static_cast<azmq::socket*>(&m_output), static_cast<azmq::socket*>(&m_subscriber)}) {
            unbounded_queues(*socket);
        }
        m_input.bind(name + "-in");
        m_producer.connect(name + "-in");
        m_output.bind(name + "-out");
        m_subscriber.connect(name + "-out");
        m_subscriber.set_option(azmq::socket::subscribe(""));
        m_payload.fill('x');
    }

    azmq::detail::specialized_socket<ZMQ_PULL>& input() { return m_input; }
    azmq::pub_socket& output() { return m_output; }

    void queue_batch() {
        for (int i = 0; i < frames_per_batch; ++i) {
            m_producer.send(azmq::message(m_payload.data(), m_payload.size()));
        }
    }

    // Returns the frames the subscriber got.
    int drain_subscriber() {
        int count = 0;
        azmq::message frame;
        boost::system::error_code error;
        while (m_subscriber.receive(frame, ZMQ_DONTWAIT, error) == frame_size) {
            ++count;
        }
        return count;
    }

private:
    azmq::socket m_producer;
    azmq::detail::specialized_socket<ZMQ_PULL> m_input;
    azmq::pub_socket m_output;
    azmq::sub_socket m_subscriber;
    std::array<char, frame_size> m_payload;
};

// The relay's forwarding loop, stopped after a given number of frames.
class forwarder {
public:
    forwarder(azmq::socket& _input, azmq::socket& _output) : m_input(_input), m_output(_output) {}

    void start(int _frames) {
        m_remaining = _frames;
        arm();
    }

private:
    void arm() {
        m_input.async_receive(
            [this](boost::system::error_code& _error, azmq::message& _frame, std::size_t) {
                if (_error) {
                    return;
                }
                if (--m_remaining > 0) {
                    arm();
                }
                m_output.send(std::move(_frame), 0);
            });
    }

    azmq::socket& m_input;
    azmq::socket& m_output;
    int m_remaining = 0;
};

template <typename Relay>
void run_batches(benchmark::State& _state, relay_sockets& _sockets, Relay _relay) {
    for (auto _ : _state) {
        _state.PauseTiming();
        if (_sockets.drain_subscriber() % frames_per_batch != 0) {
            _state.SkipWithError("the subscriber missed frames");
            break;
        }
        _sockets.queue_batch();
        _state.ResumeTiming();
        _relay();
    }
    _state.SetItemsProcessed(_state.iterations() * frames_per_batch);
}

void azmq_async_relay(benchmark::State& _state) {
    boost::asio::io_context io_context;
    relay_sockets sockets(io_context);
    forwarder relay(sockets.input(), sockets.output());
    run_batches(_state, sockets, [&] {
        relay.start(frames_per_batch);
        io_context.run();
        io_context.restart();
    });
}
BENCHMARK(azmq_async_relay);

void blocking_zmq_relay(benchmark::State& _state) {
    boost::asio::io_context io_context;
    relay_sockets sockets(io_context);
    void* input = sockets.input().native_handle();
    void* output = sockets.output().native_handle();
    run_batches(_state, sockets, [&] {
        zmq_msg_t frame;
        zmq_msg_init(&frame);
        for (int i = 0; i < frames_per_batch; ++i) {
            zmq_msg_recv(&frame, input, 0);
            zmq_msg_send(&frame, output, 0);
        }
        zmq_msg_close(&frame);
    });
}
BENCHMARK(blocking_zmq_relay);

}  // namespace

BENCHMARK_MAIN();
