#include "loop_fixture.h"

#include <core/source_location.h>
#include <core/udp/socket.h>
#include <core/zmq/manager.h>

#include <gtest/gtest.h>
#include <boost/asio/ip/udp.hpp>
#include <boost/optional.hpp>

#include <chrono>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace core = zel::libs::core;
using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;

namespace {

struct fairness_test : loop_fixture {
    // How many milliseconds late a 10 ms timer of the loop fires while a flood waits for a slow
    // callback.
    long long timer_lateness() {
        boost::optional<clock_type::time_point> fired;
        const auto due = clock_type::now() + 10ms;
        const auto timer = loop->create_timer(
            due, "probe", [&](core::timer::time_point) { fired = clock_type::now(); },
            ZEL_LOCATION);
        EXPECT_TRUE(run_until([&] { return fired.has_value(); }));
        return fired ? std::chrono::duration_cast<std::chrono::milliseconds>(*fired - due).count()
                     : std::numeric_limits<long long>::max();
    }
};

TEST_F(fairness_test, a_timer_waits_about_one_slow_callback_under_a_flood) {
    // ZeroMQ: 300 frames queued for a 5 ms callback.
    auto pull = loop->get_zmq().bind(core::zmq::socket::type::pull, "inproc://fairness");
    auto push = loop->get_zmq().connect(core::zmq::socket::type::push, "inproc://fairness");
    for (int i = 0; i < 300; ++i) {
        push->send(core::zmq::message(std::string("frame")));
    }
    pull->set_receive_callback([](core::zmq::message&) { std::this_thread::sleep_for(5ms); });
    EXPECT_LT(timer_lateness(), 50);
    pull.reset();

    // UDP: 200 datagrams queued for a 2 ms callback.
    auto receiver = loop->create_udp_socket(core::ip_protocol::v4, 0);
    receiver->set_receive_callback(
        [](const core::udp::endpoint&, const boost::asio::ip::address_v4&,
           const boost::string_view&) { std::this_thread::sleep_for(2ms); });
    boost::asio::ip::udp::socket sender(loop->get_io_context(), {boost::asio::ip::udp::v4(), 0});
    const core::udp::endpoint to(boost::asio::ip::address_v4::loopback(),
                                 receiver->local_endpoint().port());
    for (int i = 0; i < 200; ++i) {
        sender.send_to(boost::asio::buffer("datagram", 8), to);
    }
    EXPECT_LT(timer_lateness(), 50);
}

}  // namespace
