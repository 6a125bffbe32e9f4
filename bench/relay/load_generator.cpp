#include "load_generator.h"

#include "clock.h"
#include "frame_header.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace relay_bench {
namespace {

constexpr std::int64_t ns_per_second = 1'000'000'000;

// A send blocked this long means the relay has stopped taking frames.
constexpr int send_timeout_ms = 2000;
// The end markers' whole journey, after the last data frame, is bounded by this.
constexpr double drain_seconds = 10;
// Markers are repeated because the relay's PUB socket may drop any frame, a marker too.
constexpr std::int64_t marker_interval_ns = 1'000'000;

std::int64_t to_ns(double _seconds) {
    return std::int64_t(_seconds * double(ns_per_second));
}

struct producer_tally {
    std::uint64_t sent = 0;
    std::uint64_t markers = 0;
};

void send_frame(zmq::socket_t& _socket, std::vector<char>& _frame, std::size_t _size,
                const frame_header& _header) {
    std::memcpy(_frame.data(), &_header, sizeof _header);
    if (!_socket.send(zmq::const_buffer(_frame.data(), _size), zmq::send_flags::none)) {
        throw std::runtime_error("a producer could not send for 2 s: the relay takes no frames");
    }
}

// One producer's part of a phase: its share of the data frames, then end markers until the
// phase is over.
producer_tally produce(zmq::socket_t& _socket, const phase_plan& _plan, int _index,
                       std::uint16_t _phase, std::int64_t _start_ns,
                       const std::atomic<bool>& _phase_over) {
    constexpr int producers = load_generator::producers;
    std::vector<char> frame(std::max(_plan.frame_size, sizeof(frame_header)), '\x5a');
    frame_header header{};
    header.phase = _phase;
    header.producer = std::uint8_t(_index);
    header.frame_size = std::uint32_t(_plan.frame_size);
    header.kind = _plan.timed ? frame_kind::timed_data : frame_kind::data;
    const std::uint64_t share =
        _plan.frames / producers + (std::uint64_t(_index) < _plan.frames % producers ? 1 : 0);
    const std::int64_t data_end = _start_ns + to_ns(_plan.seconds);
    // Paced producers take turns: each sends once a period, a third of a period apart.
    const double period_ns = _plan.frames_per_second > 0
                                 ? producers * double(ns_per_second) / _plan.frames_per_second
                                 : 0;

    producer_tally tally;
    for (; tally.sent < share && !_phase_over.load(std::memory_order_relaxed); ++tally.sent) {
        if (period_ns > 0 && tally.sent % _plan.frames_per_wake == 0) {
            sleep_until_ns(_start_ns + std::int64_t(period_ns * (double(tally.sent) +
                                                                 double(_index) / producers)));
        }
        header.sent_ns = now_ns();
        if (header.sent_ns >= data_end) {
            break;
        }
        header.sequence = tally.sent;
        send_frame(_socket, frame, _plan.frame_size, header);
    }

    header.kind = frame_kind::end_marker;
    header.frame_size = sizeof header;
    const std::int64_t give_up = now_ns() + to_ns(drain_seconds);
    while (!_phase_over.load(std::memory_order_acquire)) {
        header.sent_ns = now_ns();
        if (header.sent_ns > give_up) {
            break;
        }
        header.sequence = tally.sent + tally.markers;
        send_frame(_socket, frame, sizeof header, header);
        ++tally.markers;
        sleep_until_ns(header.sent_ns + marker_interval_ns);
    }
    return tally;
}

// The producers' threads of one phase, told to finish and joined on every way out of it.
class producer_threads {
public:
    producer_threads() = default;
    ~producer_threads() { finish(); }

    producer_threads(const producer_threads&) = delete;
    producer_threads& operator=(const producer_threads&) = delete;

    template <typename Function>
    void start(Function&& _function) {
        m_threads.emplace_back(std::forward<Function>(_function));
    }

    const std::atomic<bool>& phase_over() const { return m_phase_over; }

    void finish() {
        m_phase_over.store(true, std::memory_order_release);
        for (auto& thread : m_threads) {
            thread.join();
        }
        m_threads.clear();
    }

private:
    std::atomic<bool> m_phase_over{false};
    std::vector<std::thread> m_threads;
};

}  // namespace

load_generator::load_generator(zmq::context_t& _context, const endpoints& _relay)
    : m_subscriber(_context, zmq::socket_type::sub) {
    // Short reconnection intervals: the relay binds only after the generator connects.
    m_subscriber.set(zmq::sockopt::linger, 0);
    m_subscriber.set(zmq::sockopt::reconnect_ivl, 10);
    m_subscriber.set(zmq::sockopt::rcvtimeo, 20);
    m_subscriber.set(zmq::sockopt::subscribe, "");
    _relay.secure(m_subscriber);
    m_subscriber.connect(_relay.output);
    for (int i = 0; i < producers; ++i) {
        zmq::socket_t& producer = m_producers.emplace_back(_context, zmq::socket_type::push);
        producer.set(zmq::sockopt::linger, 0);
        producer.set(zmq::sockopt::reconnect_ivl, 10);
        producer.set(zmq::sockopt::sndtimeo, send_timeout_ms);
        _relay.secure(producer);
        producer.connect(_relay.input);
    }
    m_subscriber_thread = std::thread([this] { subscribe(); });
}

load_generator::~load_generator() {
    m_stopping.store(true, std::memory_order_relaxed);
    m_subscriber_thread.join();
}

void load_generator::connect() {
    run_phase(phase_plan{});
}

phase_result load_generator::run_phase(const phase_plan& _plan,
                                       const std::function<void(double)>& _each_second) {
    if (m_next_phase == max_phases) {
        throw std::logic_error("more phases than one load generator can count");
    }
    const int phase = m_next_phase++;
    std::array<producer_tally, producers> tallies;
    std::array<std::exception_ptr, producers> failures;
    producer_threads threads;
    const std::int64_t start_ns = now_ns();
    for (int i = 0; i < producers; ++i) {
        threads.start([&, i] {
            try {
                tallies[i] = produce(m_producers[i], _plan, i, std::uint16_t(phase), start_ns,
                                     threads.phase_over());
            } catch (...) {
                failures[i] = std::current_exception();
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_producer_failed = true;
                m_changed.notify_all();
            }
        });
    }

    const std::int64_t give_up_ns = start_ns + to_ns(_plan.seconds + drain_seconds);
    std::int64_t next_report_ns = start_ns + ns_per_second;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (std::int64_t now = now_ns(); now < give_up_ns; now = now_ns()) {
        if (m_completed[phase] || m_producer_failed || !m_subscriber_failure.empty()) {
            break;
        }
        if (now >= next_report_ns) {
            next_report_ns += ns_per_second;
            if (_each_second) {
                lock.unlock();
                _each_second(double(now - start_ns) / ns_per_second);
                lock.lock();
            }
            continue;
        }
        m_changed.wait_for(lock,
                           std::chrono::nanoseconds(std::min(give_up_ns, next_report_ns) - now));
    }
    lock.unlock();
    threads.finish();

    for (const auto& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
    lock.lock();
    if (!m_subscriber_failure.empty()) {
        throw std::runtime_error(m_subscriber_failure);
    }
    if (!m_completed[phase]) {
        throw std::runtime_error("the end markers did not come through the relay in time");
    }
    phase_tally& tally = *m_completed[phase];
    phase_result result;
    for (const auto& producer : tallies) {
        result.sent += producer.sent;
        result.markers_sent += producer.markers;
    }
    result.delivered = tally.delivered;
    result.reordered = tally.reordered;
    result.malformed = tally.malformed;
    result.seconds = double(tally.completed_ns - start_ns) / ns_per_second;
    result.longest_silence_ns = tally.longest_silence_ns;
    result.latencies_ns = std::move(tally.latencies_ns);
    return result;
}

void load_generator::subscribe() {
    try {
        zmq::message_t frame;
        while (!m_stopping.load(std::memory_order_relaxed)) {
            // An empty result is the receive timeout, there to look at m_stopping again.
            if (m_subscriber.recv(frame, zmq::recv_flags::none)) {
                count(frame, now_ns());
            }
        }
    } catch (const std::exception& error) {
        fail(std::string("the subscriber failed: ") + error.what());
    }
}

void load_generator::count(const zmq::message_t& _frame, std::int64_t _received_ns) {
    frame_header header;
    if (_frame.size() < sizeof header) {
        return fail("the subscriber received a frame shorter than any the producers sent");
    }
    std::memcpy(&header, _frame.data(), sizeof header);
    if (header.phase >= max_phases || header.producer >= producers) {
        return fail("the subscriber received a frame whose header no producer wrote");
    }
    phase_tally& tally = m_tallies[header.phase];
    if (tally.completed_ns != 0) {
        // A marker repeated before its producer learnt that the phase was over.
        return;
    }
    std::uint64_t& next_sequence = tally.next_sequence[header.producer];
    if (header.sequence < next_sequence) {
        ++tally.reordered;
    } else {
        next_sequence = header.sequence + 1;
    }
    switch (header.kind) {
        case frame_kind::timed_data:
            tally.latencies_ns.push_back(_received_ns - header.sent_ns);
            [[fallthrough]];
        case frame_kind::data:
            ++tally.delivered;
            if (tally.last_data_ns != 0) {
                tally.longest_silence_ns =
                    std::max(tally.longest_silence_ns, _received_ns - tally.last_data_ns);
            }
            tally.last_data_ns = _received_ns;
            if (_frame.size() != header.frame_size) {
                ++tally.malformed;
            }
            return;
        case frame_kind::end_marker:
            tally.markers_seen |= 1u << header.producer;
            if (tally.markers_seen == (1u << producers) - 1) {
                tally.completed_ns = _received_ns;
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_completed[header.phase] = std::move(tally);
                m_changed.notify_all();
            }
            return;
    }
    fail("the subscriber received a frame of a kind no producer sends");
}

void load_generator::fail(std::string _reason) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_subscriber_failure.empty()) {
        m_subscriber_failure = std::move(_reason);
    }
    m_changed.notify_all();
}

}  // namespace relay_bench
