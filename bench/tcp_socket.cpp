// Bytes per second of a TCP echo of 64 KiB chunks over one loopback connection: an echo server
// on the library's acceptor and socket against one written on bare Boost.Asio. The client is
// the same for both and runs on the same io_context: it writes a chunk, reads it back whole,
// and starts the next.
#include <core/core.h>
#include <core/events_loop.h>
#include <core/logger.h>
#include <core/tcp/manager.h>

#include <benchmark/benchmark.h>
#include <syslog.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace core = zel::libs::core;
using boost::asio::ip::tcp;

namespace {

constexpr std::size_t chunk_size = 64 * 1024;
constexpr int chunks_per_batch = 64;

// Writes chunks to the server and reads each back whole before the next.
class echo_client {
public:
    echo_client(boost::asio::io_context& _io_context, const tcp::endpoint& _server)
        : m_socket(_io_context), m_chunk(chunk_size, 'e'), m_echo(chunk_size) {
        m_socket.connect(_server);
        m_socket.set_option(tcp::no_delay(true));
    }

    // Echoes a batch; _done runs once the last chunk is back.
    void start(std::function<void()> _done) {
        m_remaining = chunks_per_batch;
        m_done = std::move(_done);
        next();
    }

private:
    void next() {
        boost::asio::async_write(m_socket, boost::asio::buffer(m_chunk),
                                 [](const boost::system::error_code&, std::size_t) {});
        boost::asio::async_read(m_socket, boost::asio::buffer(m_echo),
                                [this](const boost::system::error_code& _error, std::size_t) {
                                    if (_error) {
                                        return;
                                    }
                                    if (--m_remaining > 0) {
                                        next();
                                    } else {
                                        m_done();
                                    }
                                });
    }

    tcp::socket m_socket;
    std::string m_chunk;
    std::vector<char> m_echo;
    int m_remaining = 0;
    std::function<void()> m_done;
};

// Echoes what it receives; what the kernel does not take at once waits for the can-send call.
class library_echo {
public:
    explicit library_echo(core::tcp::socket::ptr _socket) : m_socket(std::move(_socket)) {
        m_socket->set_can_send_callback([this] { flush(); });
        m_socket->set_receive_callback([this](boost::string_view _data) {
            if (m_pending.empty()) {
                _data.remove_prefix(m_socket->send_some(_data));
            }
            if (!_data.empty()) {
                m_pending.append(_data.data(), _data.size());
                m_socket->notify_that_send_is_possible();
            }
        });
    }

private:
    void flush() {
        const auto sent = m_socket->send_some(m_pending);
        m_pending.erase(0, sent);
        if (!m_pending.empty()) {
            m_socket->notify_that_send_is_possible();
        }
    }

    core::tcp::socket::ptr m_socket;
    std::string m_pending;
};

void run_batches(benchmark::State& _state, boost::asio::io_context& _io_context,
                 echo_client& _client) {
    for (auto _ : _state) {
        bool done = false;
        _client.start([&] { done = true; });
        _io_context.restart();
        while (!done && _io_context.run_one() != 0) {
        }
    }
    _state.SetBytesProcessed(_state.iterations() * chunks_per_batch * chunk_size);
}

void library_tcp_echo(benchmark::State& _state) {
    setlogmask(LOG_UPTO(LOG_ERR));
    core::logger logger("bench", "main");
    auto the_core = core::core::create(logger);
    auto loop = the_core->create_events_loop("main");
    auto& io_context = loop->get_io_context();
    auto acceptor = loop->get_tcp().listen("127.0.0.1", 0);
    std::unique_ptr<library_echo> server;
    acceptor->set_callback([&](core::tcp::socket::ptr _connection) {
        server = std::make_unique<library_echo>(std::move(_connection));
    });
    echo_client client(io_context, acceptor->local_endpoint());
    run_batches(_state, io_context, client);
}
BENCHMARK(library_tcp_echo);

// The reference: an echo written on Asio alone, reading and writing back chunk by chunk.
class asio_echo {
public:
    explicit asio_echo(tcp::socket _socket) : m_socket(std::move(_socket)), m_buffer(65536) {
        read();
    }

private:
    void read() {
        m_socket.async_read_some(
            boost::asio::buffer(m_buffer),
            [this](const boost::system::error_code& _error, std::size_t _size) {
                if (_error) {
                    return;
                }
                boost::asio::async_write(
                    m_socket, boost::asio::buffer(m_buffer.data(), _size),
                    [this](const boost::system::error_code& _write_error, std::size_t) {
                        if (!_write_error) {
                            read();
                        }
                    });
            });
    }

    tcp::socket m_socket;
    std::vector<char> m_buffer;
};

void asio_tcp_echo(benchmark::State& _state) {
    boost::asio::io_context io_context;
    tcp::acceptor acceptor(io_context,
                           tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), 0));
    std::unique_ptr<asio_echo> server;
    acceptor.async_accept([&](const boost::system::error_code& _error, tcp::socket _connection) {
        if (!_error) {
            server = std::make_unique<asio_echo>(std::move(_connection));
        }
    });
    echo_client client(io_context, acceptor.local_endpoint());
    run_batches(_state, io_context, client);
}
BENCHMARK(asio_tcp_echo);

}  // namespace

BENCHMARK_MAIN();
