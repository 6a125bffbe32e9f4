// CPU per dispatched frame of a raw topic stream, against the number of subscribed topics
// (_state.range(0)), either of one length and none a prefix of another, or overlapping
// (_state.range(1) = 1: "topic/9", "topic/99", ... all begin the frames). Each batch of 64-byte
// frames is published over inproc before the timed part.
#include <core/core.h>
#include <core/events_loop.h>
#include <core/logger.h>
#include <core/message_stream.h>

#include <azmq/socket.hpp>

#include <benchmark/benchmark.h>
#include <syslog.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace core = zel::libs::core;

namespace {

// Within the default high-water marks of both ends, so that a batch is queued whole.
constexpr int frames_per_batch = 1000;

// "topic/0000", "topic/0001", ... or, overlapping, "topic/0", "topic/1", ... "topic/10", ...
std::string topic(int _number, bool _overlapping) {
    char text[32];
    std::snprintf(text, sizeof text, _overlapping ? "topic/%d" : "topic/%04d", _number);
    return text;
}

void raw_stream_dispatch(benchmark::State& _state) {
    setlogmask(LOG_UPTO(LOG_ERR));
    core::logger logger("bench", "main");
    auto the_core = core::core::create(logger);
    auto loop = the_core->create_events_loop("main");
    auto& io_context = loop->get_io_context();
    static int instance = 0;
    const std::string endpoint = "inproc://bench-message-stream-" + std::to_string(instance++);
    azmq::pub_socket publisher(io_context);
    // Unbounded, and told of the subscriber's reads before each batch (ZMQ_EVENTS processes
    // its commands): a publisher that only sends learns of them about once a millisecond and
    // would drop frames for a subscriber it takes for full.
    const int unlimited = 0;
    zmq_setsockopt(publisher.native_handle(), ZMQ_SNDHWM, &unlimited, sizeof unlimited);
    publisher.bind(endpoint);
    const auto process_commands = [&] {
        int events = 0;
        std::size_t size = sizeof events;
        zmq_getsockopt(publisher.native_handle(), ZMQ_EVENTS, &events, &size);
    };
    auto stream = loop->create_zmq_raw_message_stream(endpoint);

    const int topics = static_cast<int>(_state.range(0));
    const bool overlapping = _state.range(1) != 0;
    const std::string matched = topic(topics - 1, overlapping);
    const std::string frame = matched + std::string(64 - matched.size(), 'x');
    int delivered = 0;
    bool counting = false;
    std::vector<core::message_stream::subscription::ptr> subscriptions;
    for (int number = 0; number < topics; ++number) {
        const std::string name = topic(number, overlapping);
        // The shortest topic that begins the frame counts the deliveries.
        if (counting || frame.compare(0, name.size(), name) != 0) {
            subscriptions.push_back(stream->subscribe(name, [](boost::string_view) {}));
            continue;
        }
        counting = true;
        subscriptions.push_back(stream->subscribe(name, [&](boost::string_view) {
            if (++delivered == frames_per_batch) {
                loop->stop();
            }
        }));
    }

    // The subscriptions reach the publisher asynchronously.
    for (int attempt = 0; attempt < 1000 && delivered == 0; ++attempt) {
        publisher.send(azmq::message(frame));
        io_context.run_for(std::chrono::milliseconds(1));
    }
    if (delivered == 0) {
        _state.SkipWithError("the subscriptions never reached the publisher");
        return;
    }
    for (auto _ : _state) {
        _state.PauseTiming();
        delivered = 0;
        io_context.restart();
        process_commands();
        for (int i = 0; i < frames_per_batch; ++i) {
            publisher.send(azmq::message(frame));
        }
        _state.ResumeTiming();
        loop->run();
    }
    _state.SetItemsProcessed(_state.iterations() * frames_per_batch);
}
BENCHMARK(raw_stream_dispatch)
    ->ArgNames({"topics", "overlapping"})
    ->ArgsProduct({{1, 100, 10000}, {0, 1}});

}  // namespace

BENCHMARK_MAIN();
