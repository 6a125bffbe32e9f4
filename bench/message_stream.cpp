// CPU of a raw topic stream's dispatch, frames published over inproc in batches before the timed
// part of each iteration:
// - raw_stream_dispatch: per 64-byte frame, against the number of subscribed topics
//   (_state.range(0)), either of one length and none a prefix of another, or overlapping
//   (_state.range(1) = 1: "topic/9", "topic/99", ... all begin the frames);
// - nested_topics_dispatch: per delivery of a 10 KB frame that every topic begins ("t", "tt",
//   "ttt", ... _state.range(0) of them);
// - unmatched_frame_dispatch: per 64 KiB frame that only the empty topic begins, besides which
//   _state.range(0) - 1 topics of distinct lengths are subscribed, each sharing all but its last
//   byte with the frame.
// topic_memory reports the heap a subscription to a topic of about 5 KB takes.
#include <core/core.h>
#include <core/events_loop.h>
#include <core/logger.h>
#include <core/message_stream.h>

#include <azmq/socket.hpp>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <syslog.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace core = zel::libs::core;

namespace {

// A raw stream reading a publisher of its own, and the deliveries its subscribers count.
class dispatch_run {
public:
    // _frames_per_batch within the default high-water marks of both ends, so that a batch is
    // queued whole.
    explicit dispatch_run(int _frames_per_batch)
        : m_frames_per_batch(_frames_per_batch)
        , m_core(core::core::create(m_logger))
        , m_loop(m_core->create_events_loop("main"))
        , m_publisher(m_loop->get_io_context()) {
        static int instance = 0;
        const std::string endpoint = "inproc://bench-message-stream-" + std::to_string(instance++);
        // Unbounded, and told of the subscriber's reads before each batch (ZMQ_EVENTS processes
        // its commands): a publisher that only sends learns of them about once a millisecond and
        // would drop frames for a subscriber it takes for full.
        const int unlimited = 0;
        zmq_setsockopt(m_publisher.native_handle(), ZMQ_SNDHWM, &unlimited, sizeof unlimited);
        m_publisher.bind(endpoint);
        m_stream = m_loop->create_zmq_raw_message_stream(endpoint);
    }

    // The loop stops once the one counting subscriber has had a whole batch.
    void subscribe(const std::string& _topic, bool _counting) {
        m_subscriptions.push_back(m_stream->subscribe(_topic, [this, _counting](auto) {
            ++m_deliveries;
            if (_counting && ++m_counted == m_frames_per_batch) {
                m_loop->stop();
            }
        }));
    }

    // Times the dispatch of batches of _frame.
    void run(benchmark::State& _state, const std::string& _frame) {
        auto& io_context = m_loop->get_io_context();
        // The subscriptions reach the publisher asynchronously.
        for (int attempt = 0; attempt < 1000 && m_counted == 0; ++attempt) {
            m_publisher.send(azmq::message(_frame));
            io_context.run_for(std::chrono::milliseconds(1));
        }
        if (m_counted == 0) {
            _state.SkipWithError("the subscriptions never reached the publisher");
            return;
        }
        m_deliveries = 0;
        for (auto _ : _state) {
            _state.PauseTiming();
            m_counted = 0;
            io_context.restart();
            int events = 0;
            std::size_t size = sizeof events;
            zmq_getsockopt(m_publisher.native_handle(), ZMQ_EVENTS, &events, &size);
            for (int i = 0; i < m_frames_per_batch; ++i) {
                m_publisher.send(azmq::message(_frame));
            }
            _state.ResumeTiming();
            m_loop->run();
        }
        const auto frames = static_cast<double>(_state.iterations()) * m_frames_per_batch;
        _state.SetItemsProcessed(static_cast<std::int64_t>(frames));
        _state.counters["deliveries_per_frame"] = static_cast<double>(m_deliveries) / frames;
        _state.counters["cpu_per_delivery"] =
            benchmark::Counter(static_cast<double>(m_deliveries),
                               benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    }

private:
    const int m_frames_per_batch;
    core::logger m_logger{"bench", "main"};
    std::unique_ptr<core::core> m_core;
    std::unique_ptr<core::events_loop> m_loop;
    azmq::pub_socket m_publisher;
    core::message_stream::ptr m_stream;
    std::vector<core::message_stream::subscription::ptr> m_subscriptions;
    int m_counted = 0;
    std::int64_t m_deliveries = 0;
};

// "topic/0000", "topic/0001", ... or, overlapping, "topic/0", "topic/1", ... "topic/10", ...
std::string topic(int _number, bool _overlapping) {
    char text[32];
    std::snprintf(text, sizeof text, _overlapping ? "topic/%d" : "topic/%04d", _number);
    return text;
}

void raw_stream_dispatch(benchmark::State& _state) {
    setlogmask(LOG_UPTO(LOG_ERR));
    dispatch_run run(1000);
    const int topics = static_cast<int>(_state.range(0));
    const bool overlapping = _state.range(1) != 0;
    const std::string matched = topic(topics - 1, overlapping);
    const std::string frame = matched + std::string(64 - matched.size(), 'x');
    bool counting = false;
    for (int number = 0; number < topics; ++number) {
        const std::string name = topic(number, overlapping);
        // The shortest topic that begins the frame counts the deliveries.
        const bool counts = !counting && frame.compare(0, name.size(), name) == 0;
        counting = counting || counts;
        run.subscribe(name, counts);
    }
    run.run(_state, frame);
}
BENCHMARK(raw_stream_dispatch)
    ->ArgNames({"topics", "overlapping"})
    ->ArgsProduct({{1, 100, 10000}, {0, 1}});

void nested_topics_dispatch(benchmark::State& _state) {
    setlogmask(LOG_UPTO(LOG_ERR));
    dispatch_run run(100);
    const auto topics = static_cast<std::size_t>(_state.range(0));
    for (std::size_t length = 1; length <= topics; ++length) {
        run.subscribe(std::string(length, 't'), length == 1);
    }
    run.run(_state, std::string(10 * 1000, 't'));
}
BENCHMARK(nested_topics_dispatch)->ArgName("topics")->Arg(1)->Arg(10000);

void unmatched_frame_dispatch(benchmark::State& _state) {
    setlogmask(LOG_UPTO(LOG_ERR));
    dispatch_run run(100);
    run.subscribe("", true);
    const auto topics = static_cast<std::size_t>(_state.range(0));
    for (std::size_t length = 1; length < topics; ++length) {
        run.subscribe(std::string(length - 1, 't') + 'x', false);
    }
    run.run(_state, std::string(64 * 1024, 't'));
}
BENCHMARK(unmatched_frame_dispatch)->ArgName("topics")->Arg(1)->Arg(10000);

// Against a publisher that never comes, so that only the stream's own memory counts.
void topic_memory(benchmark::State& _state) {
    setlogmask(LOG_UPTO(LOG_ERR));
    constexpr int topics = 10000;
    constexpr std::size_t topic_bytes = 5000;
    core::logger logger("bench", "main");
    auto the_core = core::core::create(logger);
    auto loop = the_core->create_events_loop("main");
    auto stream = loop->create_zmq_raw_message_stream("inproc://bench-message-stream-nobody");
    const auto in_use = [] {
        return static_cast<double>(mallinfo2().uordblks + mallinfo2().hblkhd);
    };
    double added = 0;
    for (auto _ : _state) {
        std::vector<core::message_stream::subscription::ptr> subscriptions;
        subscriptions.reserve(topics);
        const double before = in_use();
        for (int number = 0; number < topics; ++number) {
            std::string name = std::to_string(number) + '/';
            name.resize(topic_bytes, 'x');
            subscriptions.push_back(stream->subscribe(name, [](auto) {}));
        }
        added = in_use() - before;
        subscriptions.clear();
        loop->get_io_context().poll();
    }
    _state.counters["topic_bytes"] = topic_bytes;
    _state.counters["heap_per_topic"] = added / topics;
}
BENCHMARK(topic_memory)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
