// Cost of configuration lookups by key path, and of reading a small document.
#include <config/config.h>

#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

using namespace zel::libs::config;

namespace {

const std::string small_document = R"({
    "system": {"input_address": "tcp://127.0.0.1:5555", "output_address": "tcp://*:5556"},
    "a": {"b": {"c": {"d": "deep"}}}
})";

config::ptr read(const std::string& _json) {
    std::istringstream stream(_json);
    return config::create<type::json>(stream);
}

// About one KiB: the relay's own members beside a few dozen unrelated ones.
std::string kibibyte_document() {
    std::string json = R"({"system": {"input_address": "tcp://127.0.0.1:5555")";
    for (int member = 0; json.size() < 1000; ++member) {
        json += R"(, "member_)" + std::to_string(member) + R"(": [1, 2.5, true, "text"])";
    }
    return json + "}}";
}

// _lookup runs against the small document.
template <class Lookup>
void get_by_path(benchmark::State& _state, Lookup _lookup) {
    const auto document = read(small_document);
    for (auto _ : _state) {
        benchmark::DoNotOptimize(_lookup(*document));
    }
}
BENCHMARK_CAPTURE(get_by_path, two_keys, [](const config& _document) {
    return _document.get_by_path<std::string>({"system", "input_address"});
});
BENCHMARK_CAPTURE(get_by_path, four_keys, [](const config& _document) {
    return _document.get_by_path<std::string>({"a", "b", "c", "d"});
});
BENCHMARK_CAPTURE(get_by_path, missing_object, [](const config& _document) {
    return _document.get_by_path<std::string>({"absent", "input_address"});
});

void create_kibibyte_document(benchmark::State& _state) {
    const std::string json = kibibyte_document();
    for (auto _ : _state) {
        benchmark::DoNotOptimize(read(json));
    }
    _state.SetBytesProcessed(_state.iterations() * static_cast<int64_t>(json.size()));
}
BENCHMARK(create_kibibyte_document);

}  // namespace

BENCHMARK_MAIN();
