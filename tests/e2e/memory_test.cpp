#include "relay_process.h"

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using e2e::resident_mib;

namespace {

// Polls resident_mib every 100 ms, at most _timeout, until _done says it is enough.
template <typename Done>
bool resident_until(int _pid, std::chrono::milliseconds _timeout, Done _done) {
    for (auto waited = 0ms; waited < _timeout; waited += 100ms) {
        if (_done(resident_mib(_pid))) {
            return true;
        }
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

TEST(memory, what_a_burst_held_is_given_back_once_its_peers_have_gone) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's allocator keeps what is freed";
#endif
    e2e::relay_process relay;
    zmq::context_t context;
    {
        zmq::socket_t subscriber(context, zmq::socket_type::sub);
        subscriber.set(zmq::sockopt::subscribe, "");
        subscriber.set(zmq::sockopt::linger, 0);
        // Its own queue and the kernel's take next to nothing: the burst stays in the relay.
        subscriber.set(zmq::sockopt::rcvhwm, 1);
        subscriber.set(zmq::sockopt::rcvbuf, 64 * 1024);
        subscriber.connect(relay.output());
        ASSERT_TRUE(relay.wait_until_relaying(context, subscriber));
        const double idle = resident_mib(relay.process().pid());
        // The subscriber reads nothing more: the relay queues the burst for it.
        std::vector<zmq::socket_t> producers;
        for (int i = 0; i < 10; ++i) {
            auto& producer = producers.emplace_back(context, zmq::socket_type::push);
            producer.set(zmq::sockopt::linger, 0);
            producer.connect(relay.input());
            for (int n = 0; n < 10; ++n) {
                producer.send(zmq::buffer(std::string(1024 * 1024, 'b')), zmq::send_flags::none);
            }
        }
        ASSERT_TRUE(resident_until(relay.process().pid(), 10s,
                                   [&](double _mib) { return _mib > idle + 50; }));
        // Every peer leaves here; what the relay held for them is freed.
        subscriber.close();
        producers.clear();
        EXPECT_TRUE(
            resident_until(relay.process().pid(), 5s, [&](double _mib) { return _mib < idle + 8; }))
            << "idle " << idle << " MiB, now " << resident_mib(relay.process().pid());
    }
}

}  // namespace
