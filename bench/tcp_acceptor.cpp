// Connections accepted per second: the library's acceptor against a bare Boost.Asio accept
// loop, both on 127.0.0.1. Each batch of connections is made with non-blocking connects and
// ended with a reset, so that no port waits in TIME_WAIT; that cost is the same for both. A
// second benchmark measures what 10,000 idle accepted connections cost in resident memory.
#include <core/core.h>
#include <core/events_loop.h>
#include <core/logger.h>
#include <core/tcp/manager.h>

#include <benchmark/benchmark.h>
#include <syslog.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <fstream>
#include <memory>
#include <vector>

namespace core = zel::libs::core;
using boost::asio::ip::tcp;

namespace {

constexpr int connections_per_batch = 100;

// Client sockets connecting to a listener, without waiting for them to be accepted.
class clients {
public:
    explicit clients(const tcp::endpoint& _server) : m_server(_server) {}
    ~clients() { reset_all(); }

    void connect(int _count) {
        for (int i = 0; i < _count; ++i) {
            const int client = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(client, m_server.data(), static_cast<socklen_t>(m_server.size()));
            m_sockets.push_back(client);
        }
    }

    void reset_all() {
        const linger reset{1, 0};
        for (const int client : m_sockets) {
            setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            close(client);
        }
        m_sockets.clear();
    }

private:
    tcp::endpoint m_server;
    std::vector<int> m_sockets;
};

struct library_server {
    library_server() {
        setlogmask(LOG_UPTO(LOG_ERR));
        acceptor->set_callback([this](core::tcp::socket::ptr _connection) {
            accepted.push_back(std::move(_connection));
        });
    }

    core::logger logger{"bench", "main"};
    core::core::ptr the_core = core::core::create(logger);
    core::events_loop::ptr loop = the_core->create_events_loop("main");
    core::tcp::acceptor::ptr acceptor = loop->get_tcp().listen("127.0.0.1", 0);
    std::vector<core::tcp::socket::ptr> accepted;
};

// Runs the io_context until _accepted() reaches _count.
template <typename Count>
bool accept_all(boost::asio::io_context& _io_context, std::size_t _count, Count _accepted) {
    _io_context.restart();
    while (_accepted() < _count) {
        if (_io_context.run_one_for(std::chrono::seconds(1)) == 0) {
            return false;
        }
    }
    return true;
}

void library_tcp_accept(benchmark::State& _state) {
    library_server server;
    clients batch(server.acceptor->local_endpoint());
    for (auto _ : _state) {
        batch.connect(connections_per_batch);
        if (!accept_all(server.loop->get_io_context(), connections_per_batch,
                        [&] { return server.accepted.size(); })) {
            _state.SkipWithError("connections were not accepted");
            break;
        }
        _state.PauseTiming();
        server.accepted.clear();
        batch.reset_all();
        _state.ResumeTiming();
    }
    _state.SetItemsProcessed(_state.iterations() * connections_per_batch);
}
BENCHMARK(library_tcp_accept);

// The reference: Asio's own accept, re-armed by its handler.
class asio_server {
public:
    asio_server()
        : m_acceptor(m_io_context, tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), 0)) {
        accept();
    }

    boost::asio::io_context& io_context() { return m_io_context; }
    tcp::endpoint endpoint() const { return m_acceptor.local_endpoint(); }
    std::vector<tcp::socket>& accepted() { return m_accepted; }

private:
    void accept() {
        m_acceptor.async_accept([this](const boost::system::error_code& _error, tcp::socket _peer) {
            if (!_error) {
                m_accepted.push_back(std::move(_peer));
                accept();
            }
        });
    }

    boost::asio::io_context m_io_context;
    tcp::acceptor m_acceptor;
    std::vector<tcp::socket> m_accepted;
};

void asio_tcp_accept(benchmark::State& _state) {
    asio_server server;
    clients batch(server.endpoint());
    for (auto _ : _state) {
        batch.connect(connections_per_batch);
        if (!accept_all(server.io_context(), connections_per_batch,
                        [&] { return server.accepted().size(); })) {
            _state.SkipWithError("connections were not accepted");
            break;
        }
        _state.PauseTiming();
        server.accepted().clear();
        batch.reset_all();
        _state.ResumeTiming();
    }
    _state.SetItemsProcessed(_state.iterations() * connections_per_batch);
}
BENCHMARK(asio_tcp_accept);

long resident_bytes() {
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Connects _count clients to _server from a child process, which holds them until the write
// end of the pipe _hold is closed: the listener's process then holds the accepted ends only.
pid_t connect_from_child(const tcp::endpoint& _server, int _count, const int (&_hold)[2]) {
    const pid_t child = fork();
    if (child != 0) {
        close(_hold[0]);
        return child;
    }
    close(_hold[1]);
    std::vector<int> held;
    for (int i = 0; i < _count; ++i) {
        const int client = socket(AF_INET, SOCK_STREAM, 0);
        if (client < 0 ||
            connect(client, _server.data(), static_cast<socklen_t>(_server.size())) != 0) {
            _exit(1);
        }
        held.push_back(client);
    }
    char ignored;
    while (read(_hold[0], &ignored, 1) > 0) {
    }
    _exit(0);
}

bool raise_descriptor_limit(rlim_t _needed) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    return setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= _needed;
}

// Resident memory per idle accepted connection with a receive pending, 10,000 of them.
void library_idle_connections_memory(benchmark::State& _state) {
    constexpr int connections = 10000;
    if (!raise_descriptor_limit(connections + 100)) {
        _state.SkipWithError("not enough descriptors for 10,000 connections");
        return;
    }
    for (auto _ : _state) {
        library_server server;
        const long before = resident_bytes();
        int hold[2];
        if (pipe(hold) != 0) {
            _state.SkipWithError("pipe failed");
            return;
        }
        const pid_t child =
            connect_from_child(server.acceptor->local_endpoint(), connections, hold);
        const bool all = accept_all(server.loop->get_io_context(), connections,
                                    [&] { return server.accepted.size(); });
        for (auto& connection : server.accepted) {
            connection->set_receive_callback([](boost::string_view) {});
        }
        server.loop->get_io_context().poll();
        const long after = resident_bytes();
        close(hold[1]);
        waitpid(child, nullptr, 0);
        if (!all) {
            _state.SkipWithError("connections were not accepted");
            return;
        }
        _state.counters["resident_bytes_per_connection"] =
            static_cast<double>(after - before) / connections;
    }
}
BENCHMARK(library_idle_connections_memory)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
