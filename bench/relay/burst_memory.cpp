// Memory given back after a burst: 50 producers push frames of 1 MiB (or the size in KiB its
// argument gives) to vandrel while one
// subscriber reads slowly, then every peer leaves. Prints vandrel's resident memory idle, at its
// peak, and every half second for 10 s after the peers have gone. Run by hand (see README.md).
#include "cores.h"
#include "endpoints.h"
#include "process_usage.h"
#include "relay_command.h"
#include "relay_process.h"
#include "scratch_dir.h"

#include <zmq.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace relay_bench;
using namespace std::chrono_literals;

constexpr int producer_count = 50;
constexpr int frames_per_producer = 20;

double rss_mib(pid_t _pid) {
    return double(status_kib(_pid, "VmRSS")) / 1024;
}

}  // namespace

// The frame size in KiB may be given (default 1024).
int main(int argc, char** argv) {
    const std::size_t frame_size = (argc > 1 ? std::stoul(argv[1]) : 1024) * 1024;
    const scratch_dir dir;
    zmq::context_t context;
    const endpoints relay_endpoints = make_endpoints(transport::tcp, dir, 1, false, false);
    relay_process relay(relay_command(relay_kind::vandrel, relay_endpoints, dir, 1), relay_core,
                        dir.path("burst.log"));
    std::this_thread::sleep_for(1s);
    const double idle = rss_mib(relay.pid());
    double peak = idle;
    {
        zmq::socket_t subscriber(context, zmq::socket_type::sub);
        subscriber.set(zmq::sockopt::linger, 0);
        subscriber.set(zmq::sockopt::subscribe, "");
        subscriber.connect(relay_endpoints.output);
        std::this_thread::sleep_for(200ms);
        std::vector<zmq::socket_t> producers;
        const std::string frame(frame_size, 'b');
        for (int i = 0; i < producer_count; ++i) {
            auto& producer = producers.emplace_back(context, zmq::socket_type::push);
            producer.set(zmq::sockopt::linger, 0);
            producer.connect(relay_endpoints.input);
            for (int n = 0; n < frames_per_producer; ++n) {
                producer.send(zmq::buffer(frame), zmq::send_flags::dontwait);
            }
        }
        // The subscriber reads a frame every 10 ms: its queue at the relay fills up.
        subscriber.set(zmq::sockopt::rcvtimeo, 0);
        for (int tick = 0; tick < 500; ++tick) {
            zmq::message_t received;
            (void)subscriber.recv(received);
            std::this_thread::sleep_for(10ms);
            if (tick % 25 == 0) {
                peak = std::max(peak, rss_mib(relay.pid()));
            }
        }
    }
    std::cout << "idle " << idle << " MiB, peak " << peak << " MiB; after every peer left:";
    for (int sample = 1; sample <= 20; ++sample) {
        std::this_thread::sleep_for(500ms);
        std::cout << ' ' << sample * 0.5 << "s " << rss_mib(relay.pid());
    }
    std::cout << " MiB\n" << relay.stop() << '\n';
    return 0;
}
