// SET and GET of 16-byte values against a local redis-server, the library's commands against
// redis-benchmark with one client, run in the same process run:
// - blocking execute() round trips, against redis-benchmark -c 1 -P 1;
// - 100,000 execute_async() issued back to back, against redis-benchmark -c 1 -P 100.
// The reference rows report redis-benchmark's own requests per second.
// The hostile rows give the most memory one reply of a hostile server costs the client: the
// server answers GET with an array of as many integers, or a string of as many bytes, as asked.
#include <core/core.h>
#include <core/events_loop.h>
#include <core/exception.h>
#include <core/logger.h>
#include <core/redis/context.h>

#include <benchmark/benchmark.h>
#include <test_support/redis_server.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/optional.hpp>

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace core = zel::libs::core;
namespace redis = zel::libs::core::redis;

namespace {

constexpr int async_batch = 100000;
const std::string value(16, 'v');

test_support::redis_server& server() {
    static test_support::redis_server instance;
    return instance;
}

struct library_setup {
    core::logger logger{"bench", "main"};
    core::core::ptr the_core = core::core::create(logger);
    core::events_loop::ptr loop = the_core->create_events_loop("main");
    std::unique_ptr<redis::context> context;

    library_setup() {
        auto handle = loop->create_redis_context("127.0.0.1", server().port(), 0);
        handle->set_callback([this](boost::optional<std::unique_ptr<redis::context>> _result) {
            if (_result) {
                context = std::move(*_result);
            }
        });
        auto& io_context = loop->get_io_context();
        while (!handle->is_complete() && io_context.run_one_for(std::chrono::seconds(5)) > 0) {
        }
        // The delivery itself.
        io_context.poll();
    }
};

// 0: SET, 1: GET.
redis::command::ptr make_command(redis::context& _context, int _kind) {
    return _kind == 0 ? _context.set("bench:key", value) : _context.get("bench:key");
}

// The command the benchmark's first argument names, or null when there is no connection.
redis::command::ptr set_up(benchmark::State& _state, library_setup& _setup) {
    if (!_setup.context) {
        _state.SkipWithError("no connection");
        return nullptr;
    }
    return make_command(*_setup.context, static_cast<int>(_state.range(0)));
}

void library_blocking(benchmark::State& _state) {
    library_setup setup;
    const auto command = set_up(_state, setup);
    if (!command) {
        return;
    }
    for (auto _ : _state) {
        benchmark::DoNotOptimize(command->execute());
    }
    _state.SetItemsProcessed(_state.iterations());
}
BENCHMARK(library_blocking)->Arg(0)->Arg(1)->UseRealTime();

void library_async(benchmark::State& _state) {
    library_setup setup;
    const auto command = set_up(_state, setup);
    if (!command) {
        return;
    }
    std::vector<redis::command::handle> handles;
    handles.reserve(async_batch);
    auto& io_context = setup.loop->get_io_context();
    for (auto _ : _state) {
        int replies = 0;
        for (int i = 0; i < async_batch; ++i) {
            handles.push_back(command->execute_async());
            handles.back()->set_callback([&replies](redis::reply) { ++replies; });
        }
        while (replies < async_batch && io_context.run_one_for(std::chrono::seconds(5)) > 0) {
        }
        handles.clear();
        if (replies != async_batch) {
            _state.SkipWithError("replies missing");
            break;
        }
    }
    _state.SetItemsProcessed(_state.iterations() * async_batch);
}
BENCHMARK(library_async)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// redis-benchmark's requests per second for SET (0) or GET (1) with one client and the
// given pipeline depth.
void redis_benchmark_reference(benchmark::State& _state) {
    const char* const test = _state.range(0) == 0 ? "set" : "get";
    const std::string command = "redis-benchmark -h 127.0.0.1 -p " +
                                std::to_string(server().port()) + " -c 1 -n 100000 -d 16 -P " +
                                std::to_string(_state.range(1)) + " -t " + test + " --csv";
    double per_second = 0;
    for (auto _ : _state) {
        FILE* const output = popen(command.c_str(), "r");
        if (output == nullptr) {
            _state.SkipWithError("cannot run redis-benchmark");
            return;
        }
        char line[256];
        while (std::fgets(line, sizeof(line), output) != nullptr) {
            // "SET","123456.79",... after a header line.
            double parsed = 0;
            if (std::sscanf(line, "\"%*[A-Z]\",\"%lf\"", &parsed) == 1) {
                per_second = parsed;
            }
        }
        pclose(output);
    }
    if (per_second == 0) {
        _state.SkipWithError("no figure from redis-benchmark");
        return;
    }
    _state.counters["items_per_second"] = per_second;
}
BENCHMARK(redis_benchmark_reference)
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 100})
    ->Args({1, 100})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// A server that answers each connection's first command (SELECT) "+OK" and its second with a reply
// of _size elements or bytes, sent as the client reads it, then waits for the client to go.
class hostile_server {
public:
    using tcp = boost::asio::ip::tcp;
    hostile_server(bool _array, std::size_t _size) : m_array(_array), m_size(_size) {
        m_thread = std::thread([this] {
            std::vector<std::thread> connections;
            boost::system::error_code error;
            // The context's two connections.
            for (int i = 0; i < 2 && !error; ++i) {
                auto socket = std::make_shared<tcp::socket>(m_io_context);
                m_acceptor.accept(*socket, error);
                if (!error) {
                    connections.emplace_back([this, socket] { serve(*socket); });
                }
            }
            for (auto& each : connections) {
                each.join();
            }
        });
    }
    ~hostile_server() { m_thread.join(); }
    int port() const { return m_acceptor.local_endpoint().port(); }

private:
    void serve(tcp::socket& _socket) {
        boost::system::error_code error;
        char request[4096];
        _socket.read_some(boost::asio::buffer(request), error);
        boost::asio::write(_socket, boost::asio::buffer(std::string("+OK\r\n")), error);
        _socket.read_some(boost::asio::buffer(request), error);
        const std::string head = (m_array ? "*" : "$") + std::to_string(m_size) + "\r\n";
        boost::asio::write(_socket, boost::asio::buffer(head), error);
        std::string chunk;
        const std::size_t unit = m_array ? 4 : 1;
        for (std::size_t i = 0; i < (std::size_t(64) << 10) / unit; ++i) {
            chunk += m_array ? ":1\r\n" : "x";
        }
        for (std::size_t sent = 0; sent < m_size && !error;) {
            const std::size_t units = std::min(m_size - sent, chunk.size() / unit);
            boost::asio::write(_socket, boost::asio::buffer(chunk.data(), units * unit), error);
            sent += units;
        }
        boost::asio::write(_socket, boost::asio::buffer(std::string(m_array ? "" : "\r\n")), error);
        // Until the client closes.
        while (!error) {
            _socket.read_some(boost::asio::buffer(request), error);
        }
    }

    bool m_array;
    std::size_t m_size;
    boost::asio::io_context m_io_context;
    tcp::acceptor m_acceptor{m_io_context, {boost::asio::ip::address_v4::loopback(), 0}};
    std::thread m_thread;
};

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"); -1 when it cannot be read.
long status_kib(const std::string& _field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(_field + ":", 0) == 0) {
            return std::stol(line.substr(_field.size() + 1));
        }
    }
    return -1;
}

// Starts the peak resident size over from the current size: a child inherits its parent's peak,
// and free memory of the parent's heap that is still resident, which it would reuse unseen.
bool reset_peak_resident_size() {
    malloc_trim(0);
    std::ofstream clear_refs("/proc/self/clear_refs");
    clear_refs << "5";
    clear_refs.close();
    return !clear_refs.fail();
}

// In a child process of its own, whose peak resident size measures nothing else: connects to
// _port, runs GET, and writes to _output how much the peak grew, in KiB, and whether the reply
// was refused.
[[noreturn]] void hostile_client(int _port, int _output) {
    long result[2] = {0, 0};
    {
        core::logger logger{"bench", "main"};
        const auto the_core = core::core::create(logger);
        const auto loop = the_core->create_events_loop("main");
        std::unique_ptr<redis::context> context;
        auto handle = loop->create_redis_context("127.0.0.1", _port, 0);
        handle->set_callback([&](boost::optional<std::unique_ptr<redis::context>> _result) {
            if (_result) {
                context = std::move(*_result);
            }
        });
        while (!handle->is_complete() &&
               loop->get_io_context().run_one_for(std::chrono::seconds(5)) > 0) {
        }
        loop->get_io_context().poll();
        if (context) {
            context->set_reply_timeout(std::chrono::seconds(60));
            const bool reset = reset_peak_resident_size();
            const long before = status_kib("VmRSS");
            try {
                context->get("k")->execute();
            } catch (const core::exception&) {
                result[1] = 1;
            }
            result[0] = reset && before >= 0 ? status_kib("VmHWM") - before : -1;
        }
    }
    const bool written = ::write(_output, result, sizeof(result)) == sizeof(result);
    ::_exit(written ? 0 : 1);
}

// Arguments: 0 for an array, 1 for a string; its elements or bytes.
void hostile_reply(benchmark::State& _state) {
    long result[2] = {0, 0};
    for (auto _ : _state) {
        hostile_server hostile(_state.range(0) == 0, static_cast<std::size_t>(_state.range(1)));
        int pipe_ends[2];
        if (::pipe(pipe_ends) != 0) {
            _state.SkipWithError("no pipe");
            return;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            hostile_client(hostile.port(), pipe_ends[1]);
        }
        ::close(pipe_ends[1]);
        const bool read = child > 0 && ::read(pipe_ends[0], result, sizeof(result)) ==
                                           static_cast<ssize_t>(sizeof(result));
        ::close(pipe_ends[0]);
        int status = 0;
        if (child > 0) {
            ::waitpid(child, &status, 0);
        }
        if (!read || result[0] < 0) {
            _state.SkipWithError("no figure from the client");
            return;
        }
    }
    _state.counters["peak_MiB"] = static_cast<double>(result[0]) / 1024;
    _state.SetLabel(result[1] != 0 ? "refused" : "accepted");
}
BENCHMARK(hostile_reply)
    ->Args({0, std::int64_t(1) << 24})
    ->Args({0, 450000})
    ->Args({1, std::int64_t(512) << 20})
    ->Args({1, (std::int64_t(16) << 20) - 4096})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
