// The cost of one record on the caller's thread, beside spdlog doing the same
// job in the same run: an info record "record %1% from %2%" fed a counter and a
// name. Run with standard error sent to /dev/null, where both copy their
// records. Three jobs, each on one and two threads:
// - compose: the system log masks the record and the debug socket is connected
//   to an endpoint where nobody listens, so that the record is composed and the
//   send gives up at once; spdlog's reference is its complete record on
//   standard error;
// - socket: the system log masks the record, the socket feeds a peer that reads
//   as fast as it can; spdlog's reference is again its record on standard error;
// - service: the system log (with its copy on standard error) and the socket,
//   beside spdlog writing to standard error, the system log and a PUSH socket.
// Goals, as ratios of the medians in one run: compose <= 0.3 of
// spdlog_stderr, socket <= 0.5 of it, service <= 0.8 of spdlog_service, and
// two threads >= 1.6 times the records per second of one on the socket job.
#include <core/logger.h>

#include <benchmark/benchmark.h>
#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/sinks/syslog_sink.h>
#include <sys/resource.h>
#include <syslog.h>
#include <zmq.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace core = zel::libs::core;

namespace {

const std::string name = "worker";

// A relay stand-in that reads as fast as it can on a thread of its own.
class draining_peer {
public:
    draining_peer() : m_socket(m_context, zmq::socket_type::pull) {
        m_socket.set(zmq::sockopt::linger, 0);
        m_socket.set(zmq::sockopt::rcvtimeo, 100);
        m_socket.bind("tcp://127.0.0.1:*");
        m_endpoint = m_socket.get(zmq::sockopt::last_endpoint);
        m_thread = std::thread([this] {
            zmq::message_t frame;
            while (!m_stop) {
                if (m_socket.recv(frame)) {
                    ++m_received;
                }
            }
        });
    }
    ~draining_peer() {
        m_stop = true;
        m_thread.join();
    }

    const std::string& endpoint() const { return m_endpoint; }
    std::int64_t received() const { return m_received; }

private:
    zmq::context_t m_context;
    zmq::socket_t m_socket;
    std::string m_endpoint;
    std::atomic<bool> m_stop{false};
    std::atomic<std::int64_t> m_received{0};
    std::thread m_thread;
};

// An endpoint nobody listens on: a socket bound there and closed again.
std::string silent_endpoint() {
    zmq::context_t context;
    zmq::socket_t socket(context, zmq::socket_type::pull);
    socket.bind("tcp://127.0.0.1:*");
    return socket.get(zmq::sockopt::last_endpoint);
}

enum class job { compose, socket, service };

double process_cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// The processor time of the whole process per record, its ZeroMQ threads and
// the peer's included: what bounds the records of two threads on two cores.
class cpu_per_record {
public:
    explicit cpu_per_record(benchmark::State& _state)
        : m_state(_state), m_start(process_cpu_seconds()) {}
    ~cpu_per_record() {
        if (m_state.thread_index() == 0) {
            const double records =
                static_cast<double>(m_state.iterations()) * static_cast<double>(m_state.threads());
            m_state.counters["cpu_ns"] = (process_cpu_seconds() - m_start) * 1e9 / records;
        }
    }

private:
    benchmark::State& m_state;
    double m_start;
};

// The benchmark's threads share one logger, made by the first before the
// timed loop (which starts and ends on a barrier of all threads).
struct our_setup {
    std::unique_ptr<draining_peer> peer;
    std::unique_ptr<core::logger> logger;
};

void our_logger(benchmark::State& _state, job _job) {
    static our_setup setup;
    if (_state.thread_index() == 0) {
        setup.peer = std::make_unique<draining_peer>();
        setup.logger = std::make_unique<core::logger>("bench", "main");
        setup.logger->connect(_job == job::compose ? silent_endpoint() : setup.peer->endpoint());
        // After the logger's own mask: records at info and below stop there.
        setlogmask(_job == job::service ? LOG_UPTO(LOG_INFO) : LOG_UPTO(LOG_ERR));
    }
    std::int64_t n = 0;
    {
        const cpu_per_record cpu(_state);
        for (auto _ : _state) {
            setup.logger->info("record %1% from %2%") % n++ % name;
        }
    }
    _state.SetItemsProcessed(_state.iterations());
    if (_state.thread_index() == 0) {
        setup.logger.reset();
        setup.peer.reset();
    }
}

// spdlog's sink for the relay: the record as one frame on a PUSH socket.
class push_sink : public spdlog::sinks::base_sink<std::mutex> {
public:
    explicit push_sink(const std::string& _endpoint) : m_socket(m_context, zmq::socket_type::push) {
        m_socket.set(zmq::sockopt::linger, 0);
        m_socket.connect(_endpoint);
    }

protected:
    void sink_it_(const spdlog::details::log_msg& _message) override {
        spdlog::memory_buf_t text;
        formatter_->format(_message, text);
        (void)m_socket.send(zmq::const_buffer(text.data(), text.size()), zmq::send_flags::dontwait);
    }
    void flush_() override {}

private:
    zmq::context_t m_context;
    zmq::socket_t m_socket;
};

struct spdlog_setup {
    std::unique_ptr<draining_peer> peer;
    std::shared_ptr<spdlog::logger> logger;
};

void spdlog_logger(benchmark::State& _state, job _job) {
    static spdlog_setup setup;
    if (_state.thread_index() == 0) {
        setup.logger = std::make_shared<spdlog::logger>("bench");
        auto to_stderr = std::make_shared<spdlog::sinks::stderr_sink_mt>();
        to_stderr->set_formatter(std::make_unique<spdlog::pattern_formatter>(
            "bench: %Y-%m-%d %H:%M:%S.%e %v", spdlog::pattern_time_type::utc));
        setup.logger->sinks().push_back(to_stderr);
        if (_job == job::service) {
            // The mask is the process's: ours may have left it shut.
            setlogmask(LOG_UPTO(LOG_INFO));
            setup.peer = std::make_unique<draining_peer>();
            auto to_syslog =
                std::make_shared<spdlog::sinks::syslog_sink_mt>("bench", 0, LOG_USER, false);
            to_syslog->set_pattern("%v");
            auto to_socket = std::make_shared<push_sink>(setup.peer->endpoint());
            to_socket->set_formatter(std::make_unique<spdlog::pattern_formatter>(
                "&bench:main %Y-%m-%d %H:%M:%S.%e %v", spdlog::pattern_time_type::utc, ""));
            setup.logger->sinks().push_back(to_syslog);
            setup.logger->sinks().push_back(to_socket);
        }
    }
    std::int64_t n = 0;
    {
        const cpu_per_record cpu(_state);
        for (auto _ : _state) {
            setup.logger->info("record {} from {}", n++, name);
        }
    }
    _state.SetItemsProcessed(_state.iterations());
    if (_state.thread_index() == 0) {
        setup.logger.reset();
        setup.peer.reset();
    }
}

void compose(benchmark::State& _state) {
    our_logger(_state, job::compose);
}
void socket(benchmark::State& _state) {
    our_logger(_state, job::socket);
}
void service(benchmark::State& _state) {
    our_logger(_state, job::service);
}
void spdlog_stderr(benchmark::State& _state) {
    spdlog_logger(_state, job::compose);
}
void spdlog_service(benchmark::State& _state) {
    spdlog_logger(_state, job::service);
}

// Interleaved, so that each of ours meets its reference in the same stretch of
// a noisy machine.
BENCHMARK(spdlog_stderr)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(compose)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(socket)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(spdlog_service)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(service)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// Closing note. Five whole runs, medians of per-run ratios (spread in
// brackets), two shared cores, spdlog 1.10 on the same job; before this
// logger's fast path, the same benchmark gave compose 1,900-2,800 ns, socket
// 2,000-3,800 ns and service 16-25 us a record.
// - compose: 0.31 (0.27-0.55) of spdlog_stderr; 0.28 (121 against 435 ns)
//   in a run of five repetitions on a quiet machine.
// - socket: 0.46 (0.30-0.51) of spdlog_stderr; 0.32 (139 ns) on the quiet run.
// - service: 0.09 (0.06-0.14) of spdlog_service: without a system-log daemon
//   spdlog pays the C library's connection attempt on every record (10-15 us),
//   the logger once a second.
// - two threads: socket 1.10 (0.42-1.43) times the records of one, compose
//   0.73 (0.54-1.47), spdlog's own 0.77 (0.44-1.00); on the quiet run compose
//   1.12, socket 1.02, spdlog 0.66. The goal of 1.6 is not shown. No lock
//   waits: 8,300 futex calls for 7.5 million records on two threads (strace),
//   and a profile with clock_gettime 17%, ZeroMQ's send 11%, the composition
//   25%, malloc/free of the frame 6%, setlogmask(0) 3.4%, the socket's lock
//   5%. The processor time per record grows from 121 to 158 ns with the second
//   thread, and two threads of plain independent work (to_chars and memcpy)
//   gain 1.2 to 2.2 times in back-to-back runs here: the shared machine, not
//   the logger, is what these figures bound.
