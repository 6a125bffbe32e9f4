// Handle deliveries per second: worker threads return results on handles of
// one loop, and the loop's thread delivers them to the callbacks.
#include <core/core.h>
#include <core/events_loop.h>
#include <core/impl/async_operation_handle/async_operation_handle_impl.h>
#include <core/logger.h>

#include <benchmark/benchmark.h>
#include <syslog.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace core = zel::libs::core;

namespace {

using handle = core::async_operation_handle_impl<std::int64_t>;

constexpr std::int64_t batch = 10000;

// Each iteration: a batch of started handles, their results returned by
// _state.range(0) worker threads at once (none: by the loop's own thread), and
// the loop run until every callback has run.
void deliveries(benchmark::State& _state) {
    setlogmask(LOG_UPTO(LOG_ERR));
    core::logger logger("bench", "main");
    auto the_core = core::core::create(logger);
    auto loop = the_core->create_events_loop("main");
    auto& io_context = loop->get_io_context();
    const auto threads = _state.range(0);
    std::int64_t delivered = 0;

    for (auto _ : _state) {
        _state.PauseTiming();
        std::vector<std::weak_ptr<handle>> operations;
        std::vector<handle::ptr> handles;
        operations.reserve(batch);
        handles.reserve(batch);
        for (std::int64_t i = 0; i < batch; ++i) {
            handles.push_back(handle::create(*loop, [&](handle::ptr, std::weak_ptr<handle> _weak) {
                operations.push_back(std::move(_weak));
            }));
            handles.back()->start();
            handles.back()->set_callback([&](std::int64_t) { ++delivered; });
        }
        const auto target = delivered + batch;
        io_context.restart();
        _state.ResumeTiming();

        auto return_results = [&](std::int64_t _first, std::int64_t _step) {
            for (auto i = _first; i < batch; i += _step) {
                if (const auto locked = operations[i].lock()) {
                    locked->return_result(std::int64_t(i));
                }
            }
        };
        std::vector<std::thread> workers;
        if (threads == 0) {
            return_results(0, 1);
        }
        for (std::int64_t t = 0; t < threads; ++t) {
            workers.emplace_back(return_results, t, threads);
        }
        auto work = loop->create_work();
        while (delivered < target) {
            io_context.run_one();
        }
        for (auto& worker : workers) {
            worker.join();
        }
    }
    _state.SetItemsProcessed(_state.iterations() * batch);
}
BENCHMARK(deliveries)->Arg(0)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
