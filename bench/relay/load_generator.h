#pragma once

#include "endpoints.h"

#include <zmq.hpp>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace relay_bench {

// One phase of load: how much, how fast, and bounded both in frames and in time.
struct phase_plan {
    std::size_t frame_size = 64;
    // Data frames of all producers together, shared out evenly.
    std::uint64_t frames = 0;
    // The producers stop sending data after this long even if frames are left.
    double seconds = 0;
    // Frames per second of all producers together, evenly interleaved; 0 sends as fast as the
    // relay takes them.
    double frames_per_second = 0;
    // Paced producers wake once per this many frames and send them back to back: at a high rate,
    // a wake-up a frame would take the generator's core.
    std::uint64_t frames_per_wake = 1;
    // Whether the subscriber measures each frame's latency.
    bool timed = false;
};

// What one phase did, as the producers and the subscriber counted it.
struct phase_result {
    // Data frames the producers handed to their sockets.
    std::uint64_t sent = 0;
    // End markers the producers sent after their data; the relay forwards them too.
    std::uint64_t markers_sent = 0;
    // Data frames the subscriber received.
    std::uint64_t delivered = 0;
    // Frames that came after a later one of the same producer, and frames not of the size
    // they were sent with: both should stay 0.
    std::uint64_t reordered = 0;
    std::uint64_t malformed = 0;
    // From the first send to the subscriber's sight of every producer's end marker.
    double seconds = 0;
    // The longest the subscriber went without a data frame, from the first to the last.
    std::int64_t longest_silence_ns = 0;
    // Of each timed data frame delivered, from its send to its receipt.
    std::vector<std::int64_t> latencies_ns;

    // Every frame of the phase that went through the relay's input.
    std::uint64_t relayed() const { return sent + markers_sent; }
};

// The load of one measurement: three PUSH producers connected to a relay's input and one SUB
// subscriber connected to its output. The producers run on threads of their own during a
// phase; the subscriber on one thread for the generator's life.
class load_generator {
public:
    static constexpr int producers = 3;

    load_generator(zmq::context_t& _context, const endpoints& _relay);
    ~load_generator();

    load_generator(const load_generator&) = delete;
    load_generator& operator=(const load_generator&) = delete;

    // Sends end markers until the subscriber has one from every producer, which tells that the
    // relay is up and every connection made. Throws when that takes ten seconds.
    void connect();

    // Runs one phase and waits until all its frames are through the relay, calling _each_second
    // with the seconds elapsed about once a second meanwhile. Throws when a producer cannot
    // send for two seconds, when the end markers take more than ten seconds after the data, or
    // when the subscriber receives a frame that no producer wrote.
    phase_result run_phase(const phase_plan& _plan,
                           const std::function<void(double)>& _each_second = nullptr);

private:
    // What the subscriber counts of one phase, on its own thread until the phase is complete.
    struct phase_tally {
        std::uint64_t delivered = 0;
        std::uint64_t reordered = 0;
        std::uint64_t malformed = 0;
        std::array<std::uint64_t, producers> next_sequence{};
        unsigned markers_seen = 0;
        std::int64_t completed_ns = 0;
        std::int64_t last_data_ns = 0;
        std::int64_t longest_silence_ns = 0;
        std::vector<std::int64_t> latencies_ns;
    };

    static constexpr int max_phases = 8;

    void subscribe();
    void count(const zmq::message_t& _frame, std::int64_t _received_ns);
    void fail(std::string _reason);

    std::vector<zmq::socket_t> m_producers;
    zmq::socket_t m_subscriber;
    int m_next_phase = 0;

    // Written by the subscriber's thread only.
    std::array<phase_tally, max_phases> m_tallies;

    // Guards what follows: the phases handed over by the subscriber, and the signals that end
    // a phase's wait.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::array<std::optional<phase_tally>, max_phases> m_completed;
    bool m_producer_failed = false;
    std::string m_subscriber_failure;

    std::atomic<bool> m_stopping{false};

    std::thread m_subscriber_thread;
};

}  // namespace relay_bench
