// Small GETs against a loopback HTTP server, the library's client against a bare libcurl loop
// that reuses one easy handle per thread:
// - blocking requests on one thread, against the bare loop on one thread;
// - asynchronous requests on 10 workers, delivered on the loop, against the bare loop on 10
//   threads;
// - one asynchronous request at a time, whose time per request less the blocking one's is the
//   latency the worker hop and the handle's delivery add;
// - the asynchronous path without a transfer, which is what it costs by itself.
#include <core/core.h>
#include <core/events_loop.h>
#include <core/http/client.h>
#include <core/logger.h>

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <test_support/http_server.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace core = zel::libs::core;
namespace http = zel::libs::core::http;

namespace {

constexpr int workers = 10;
constexpr int requests_per_batch = 1000;

// Counts requests without keeping them, as a benchmark sends hundreds of thousands.
std::unique_ptr<test_support::http_server> make_server() {
    auto server =
        std::make_unique<test_support::http_server>([](const test_support::http_request_record&) {
            test_support::http_reply reply;
            reply.body = "small response";
            return reply;
        });
    server->set_recording(false);
    return server;
}

test_support::http_server& server() {
    static const std::unique_ptr<test_support::http_server> instance = make_server();
    return *instance;
}

std::chrono::nanoseconds thread_cpu_time() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

std::size_t keep(char* _data, std::size_t _size, std::size_t _count, void* _buffer) {
    static_cast<std::string*>(_buffer)->append(_data, _size * _count);
    return _size * _count;
}

// The reference: what a caller writing libcurl by hand would do per request.
void bare_curl(benchmark::State& _state) {
    const std::string url = server().base_address() + "/small";
    CURL* handle = curl_easy_init();
    std::string body;
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &keep);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, static_cast<void*>(&body));
    for (auto _ : _state) {
        body.clear();
        if (curl_easy_perform(handle) != CURLE_OK) {
            _state.SkipWithError("transfer failed");
            break;
        }
        benchmark::DoNotOptimize(body.data());
    }
    curl_easy_cleanup(handle);
    _state.SetItemsProcessed(_state.iterations());
}
BENCHMARK(bare_curl)->UseRealTime();
BENCHMARK(bare_curl)->Threads(workers)->UseRealTime();

struct library_setup {
    explicit library_setup(const std::vector<http::method>& _disabled = {})
        : client(loop->create_http_client(server().base_address(), std::chrono::seconds(5),
                                          _disabled, workers)) {}

    core::logger logger{"bench", "main"};
    core::core::ptr the_core = core::core::create(logger);
    core::events_loop::ptr loop = the_core->create_events_loop("main");
    // The results come from the workers: the loop waits for them.
    core::events_loop::work::ptr work = loop->create_work();
    http::client::ptr client;
};

// On one thread, or on 10 sharing one client (and its share handle's locks).
void library_blocking(benchmark::State& _state) {
    static std::unique_ptr<library_setup> setup;
    if (_state.thread_index() == 0) {
        setup = std::make_unique<library_setup>();
    }
    for (auto _ : _state) {
        http::result result = setup->client->perform_request(http::method::get, "/small");
        if (!result.ok()) {
            _state.SkipWithError("request failed");
            break;
        }
        benchmark::DoNotOptimize(result);
    }
    _state.SetItemsProcessed(_state.iterations());
    if (_state.thread_index() == 0) {
        setup.reset();
    }
}
BENCHMARK(library_blocking)->UseRealTime();
BENCHMARK(library_blocking)->Threads(workers)->UseRealTime();

// Issues _batch requests and runs the loop until all their results are delivered.
void library_async_batches(benchmark::State& _state, library_setup& _setup, int _batch) {
    std::vector<http::client::handle> handles;
    handles.reserve(static_cast<std::size_t>(_batch));
    const auto cpu_before = thread_cpu_time();
    for (auto _ : _state) {
        int delivered = 0;
        bool failed = false;
        for (int i = 0; i < _batch; ++i) {
            handles.push_back(_setup.client->perform_async_request(
                http::method::get, "/small", [&](http::result _result) {
                    failed = failed || !_result.ok();
                    ++delivered;
                }));
        }
        auto& io_context = _setup.loop->get_io_context();
        while (delivered < _batch && io_context.run_one_for(std::chrono::seconds(5)) > 0) {
        }
        handles.clear();
        if (delivered != _batch || failed) {
            _state.SkipWithError("request failed");
            break;
        }
    }
    const auto requests = _state.iterations() * static_cast<std::size_t>(_batch);
    _state.SetItemsProcessed(static_cast<std::int64_t>(requests));
    // The loop's thread issues every request and takes every result: its CPU time is what the
    // asynchronous path costs the caller.
    _state.counters["loop_cpu_us_per_request"] =
        std::chrono::duration<double, std::micro>(thread_cpu_time() - cpu_before).count() /
        static_cast<double>(requests);
}

// 10 workers kept busy, and one request at a time.
void library_async(benchmark::State& _state) {
    library_setup setup;
    library_async_batches(_state, setup, static_cast<int>(_state.range(0)));
}
BENCHMARK(library_async)->Arg(requests_per_batch)->UseRealTime();
BENCHMARK(library_async)->Arg(1)->UseRealTime();

// The asynchronous path alone: a disabled method makes no transfer, so what is left is the
// hand-off to a worker and the delivery back on the loop.
void library_async_without_transfer(benchmark::State& _state) {
    library_setup setup({http::method::get});
    library_async_batches(_state, setup, requests_per_batch);
}
BENCHMARK(library_async_without_transfer)->UseRealTime();

}  // namespace

int main(int _argc, char** _argv) {
    // Before any thread: the bare loops' threads would otherwise race to do it.
    curl_global_init(CURL_GLOBAL_ALL);
    benchmark::Initialize(&_argc, _argv);
    if (benchmark::ReportUnrecognizedArguments(_argc, _argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
