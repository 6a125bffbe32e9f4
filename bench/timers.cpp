// The cost of timers on the loop's thread: arming and firing a one-shot timer,
// re-arming it, one tick of a periodic timer (which re-arms before it calls
// back), and the memory that armed timers hold.
#include <core/core.h>
#include <core/events_loop.h>
#include <core/logger.h>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <syslog.h>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <vector>

namespace core = zel::libs::core;
using namespace std::chrono_literals;

namespace {

// The heap in use, whatever allocated it: Asio takes its wait operations with
// aligned_alloc, past any replacement of operator new.
std::int64_t heap_in_use() {
    const auto info = mallinfo2();
    return std::int64_t(info.uordblks + info.hblkhd);
}

struct loop_setup {
    loop_setup() { setlogmask(LOG_UPTO(LOG_ERR)); }
    core::logger logger{"bench", "main"};
    core::core::ptr the_core = core::core::create(logger);
    core::events_loop::ptr loop = the_core->create_events_loop("main");
    // Otherwise the loop stops whenever its last timer has fired.
    core::events_loop::work::ptr work = loop->create_work();
};

// An instant long past, so that every arming fires on the next turn.
const core::timer::time_point past(1ms);

void one_shot_create_and_fire(benchmark::State& _state) {
    loop_setup setup;
    auto& io_context = setup.loop->get_io_context();
    std::int64_t fired = 0;
    for (auto _ : _state) {
        auto timer = setup.loop->create_timer(
            past, "bench", [&](core::timer::time_point) { ++fired; }, ZEL_LOCATION);
        io_context.run_one();
    }
    if (fired != _state.iterations()) {
        _state.SkipWithError("a timer did not fire");
    }
    _state.SetItemsProcessed(_state.iterations());
}
BENCHMARK(one_shot_create_and_fire);

// The floor under the two above: a bare Asio timer armed and fired the same way.
void asio_timer_arm_and_fire(benchmark::State& _state) {
    loop_setup setup;
    auto& io_context = setup.loop->get_io_context();
    boost::asio::steady_timer timer(io_context);
    std::int64_t fired = 0;
    for (auto _ : _state) {
        timer.expires_at(past);
        timer.async_wait([&](const boost::system::error_code&) { ++fired; });
        io_context.run_one();
    }
    benchmark::DoNotOptimize(fired);
    _state.SetItemsProcessed(_state.iterations());
}
BENCHMARK(asio_timer_arm_and_fire);

void one_shot_reset_and_fire(benchmark::State& _state) {
    loop_setup setup;
    auto& io_context = setup.loop->get_io_context();
    std::int64_t fired = 0;
    auto timer = setup.loop->create_timer(
        past, "bench", [&](core::timer::time_point) { ++fired; }, ZEL_LOCATION);
    io_context.run_one();
    for (auto _ : _state) {
        timer->reset(past);
        io_context.run_one();
    }
    if (fired != _state.iterations() + 1) {
        _state.SkipWithError("a timer did not fire");
    }
    _state.SetItemsProcessed(_state.iterations());
}
BENCHMARK(one_shot_reset_and_fire);

// With a period of one nanosecond, the next grid point is due again by the
// next turn: each turn is one tick with its re-arming.
void periodic_tick(benchmark::State& _state) {
    loop_setup setup;
    auto& io_context = setup.loop->get_io_context();
    std::int64_t ticks = 0;
    auto timer = setup.loop->create_periodic_timer(
        1ns, "bench", [&](core::timer::time_point) { ++ticks; }, ZEL_LOCATION);
    for (auto _ : _state) {
        io_context.run_one();
    }
    benchmark::DoNotOptimize(ticks);
    _state.SetItemsProcessed(_state.iterations());
}
BENCHMARK(periodic_tick);

// restart() makes a new one-shot timer and drops the previous one, whose
// cancelled completion is run here too.
void periodic_restart(benchmark::State& _state) {
    loop_setup setup;
    auto& io_context = setup.loop->get_io_context();
    auto timer = setup.loop->create_periodic_timer(
        1h, "bench", [](core::timer::time_point) {}, ZEL_LOCATION);
    for (auto _ : _state) {
        timer->restart();
        io_context.poll();
    }
    _state.SetItemsProcessed(_state.iterations());
}
BENCHMARK(periodic_restart);

void armed_timers_memory(benchmark::State& _state) {
    const auto count = _state.range(0);
    loop_setup setup;
    const auto far = std::chrono::steady_clock::now() + 1h;
    std::int64_t bytes = 0;
    for (auto _ : _state) {
        std::vector<core::timer::ptr> timers;
        timers.reserve(count);
        const auto before = heap_in_use();
        for (std::int64_t i = 0; i < count; ++i) {
            timers.push_back(setup.loop->create_timer(
                far, "bench", [](core::timer::time_point) {}, ZEL_LOCATION));
        }
        bytes = heap_in_use() - before;
        _state.PauseTiming();
        timers.clear();
        setup.loop->get_io_context().poll();  // the cancelled completions
        _state.ResumeTiming();
    }
    _state.counters["bytes_per_timer"] = double(bytes) / double(count);
    _state.counters["MiB"] = double(bytes) / (1024.0 * 1024.0);
}
BENCHMARK(armed_timers_memory)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
