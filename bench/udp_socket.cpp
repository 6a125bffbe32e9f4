// 64-byte datagrams received per second on one socket: the library's UDP socket against a bare
// Boost.Asio receive loop. Each batch is sent from a plain socket before the timed part; the
// batch stays well within the receive buffer, so that none is dropped.
#include <core/core.h>
#include <core/events_loop.h>
#include <core/logger.h>
#include <core/udp/socket.h>

#include <benchmark/benchmark.h>
#include <syslog.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <array>
#include <chrono>
#include <cstddef>

namespace core = zel::libs::core;
using boost::asio::ip::udp;

namespace {

constexpr int datagrams_per_batch = 100;

// Sends batches of 64-byte datagrams to a port on 127.0.0.1.
class sender {
public:
    sender(boost::asio::io_context& _io_context, unsigned short _port)
        : m_socket(_io_context, udp::endpoint(udp::v4(), 0))
        , m_destination(boost::asio::ip::make_address("127.0.0.1"), _port) {
        m_payload.fill('x');
    }

    void send_batch() {
        for (int i = 0; i < datagrams_per_batch; ++i) {
            m_socket.send_to(boost::asio::buffer(m_payload), m_destination);
        }
    }

private:
    udp::socket m_socket;
    udp::endpoint m_destination;
    std::array<char, 64> m_payload;
};

// Runs _receive for each batch; it returns the datagrams it got, all of them unless some were
// lost, which ends the benchmark with an error rather than a wrong figure.
template <typename Receive>
void run_batches(benchmark::State& _state, sender& _sender, Receive _receive) {
    for (auto _ : _state) {
        _state.PauseTiming();
        _sender.send_batch();
        _state.ResumeTiming();
        if (_receive() != datagrams_per_batch) {
            _state.SkipWithError("datagrams were lost");
            break;
        }
    }
    _state.SetItemsProcessed(_state.iterations() * datagrams_per_batch);
}

void library_udp_socket(benchmark::State& _state) {
    setlogmask(LOG_UPTO(LOG_ERR));
    core::logger logger("bench", "main");
    auto the_core = core::core::create(logger);
    auto loop = the_core->create_events_loop("main");
    auto receiver = loop->create_udp_socket("127.0.0.1", 0);
    int received = 0;
    receiver->set_receive_callback(
        [&](const udp::endpoint&, const boost::asio::ip::address_v4&, const boost::string_view&) {
            if (++received == datagrams_per_batch) {
                loop->stop();
            }
        });
    sender source(loop->get_io_context(), receiver->local_endpoint().port());
    run_batches(_state, source, [&] {
        received = 0;
        loop->get_io_context().restart();
        loop->get_io_context().run_for(std::chrono::seconds(1));
        return received;
    });
}
BENCHMARK(library_udp_socket);

// The reference: Asio's own receive, re-armed by its handler until the batch is in.
class bare_receiver {
public:
    explicit bare_receiver(boost::asio::io_context& _io_context)
        : m_socket(_io_context, udp::endpoint(boost::asio::ip::make_address("127.0.0.1"), 0)) {}

    unsigned short port() const { return m_socket.local_endpoint().port(); }

    void start() {
        m_received = 0;
        arm();
    }

    int received() const { return m_received; }

private:
    void arm() {
        m_socket.async_receive_from(boost::asio::buffer(m_buffer), m_sender,
                                    [this](const boost::system::error_code& _error, std::size_t) {
                                        if (!_error && ++m_received < datagrams_per_batch) {
                                            arm();
                                        }
                                    });
    }

    udp::socket m_socket;
    udp::endpoint m_sender;
    std::array<char, 65536> m_buffer;
    int m_received = 0;
};

void asio_udp_socket(benchmark::State& _state) {
    boost::asio::io_context io_context;
    bare_receiver receiver(io_context);
    sender source(io_context, receiver.port());
    run_batches(_state, source, [&] {
        receiver.start();
        io_context.restart();
        io_context.run_for(std::chrono::seconds(1));
        return receiver.received();
    });
}
BENCHMARK(asio_udp_socket);

}  // namespace

BENCHMARK_MAIN();
