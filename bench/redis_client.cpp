// SET and GET of 16-byte values against a local redis-server, the library's commands against
// redis-benchmark with one client, run in the same process run:
// - blocking execute() round trips, against redis-benchmark -c 1 -P 1;
// - 100,000 execute_async() issued back to back, against redis-benchmark -c 1 -P 100.
// The reference rows report redis-benchmark's own requests per second.
#include <core/core.h>
#include <core/events_loop.h>
#include <core/logger.h>
#include <core/redis/context.h>

#include <benchmark/benchmark.h>
#include <test_support/redis_server.h>

#include <boost/optional.hpp>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
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

}  // namespace

BENCHMARK_MAIN();
