#pragma once

#include <zmq.hpp>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace relay_bench {

// A reader of vandrel's history on a thread of its own: asks for what comes from now on and
// reads it as fast as it arrives, as vandrel-tail -H does.
class history_follower {
public:
    history_follower(zmq::context_t& _context, const std::string& _endpoint);
    ~history_follower() { stop(); }
    history_follower(const history_follower&) = delete;
    history_follower& operator=(const history_follower&) = delete;

    // Ends the reading; returns the records it received.
    std::uint64_t stop();

private:
    void read();

    zmq::socket_t m_socket;
    std::atomic<bool> m_stopping{false};
    std::uint64_t m_records = 0;
    std::thread m_thread;
};

}  // namespace relay_bench
