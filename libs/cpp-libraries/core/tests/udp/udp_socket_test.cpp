#include "loop_fixture.h"

#include <core/exception.h>
#include <core/udp/socket.h>

#include <gtest/gtest.h>
#include <boost/asio/ip/udp.hpp>
#include <boost/system/system_error.hpp>

#include <memory>
#include <string>
#include <vector>

namespace core = zel::libs::core;
namespace udp = zel::libs::core::udp;
using boost::asio::ip::make_address;

namespace {

struct datagram {
    udp::endpoint sender;
    std::string local_address;
    std::string data;
};

struct udp_socket_test : loop_fixture {
    udp::socket::ptr receiver;
    std::vector<datagram> received;

    void record() {
        receiver->set_receive_callback([this](const udp::endpoint& _sender,
                                              const boost::asio::ip::address_v4& _local,
                                              const boost::string_view& _data) {
            received.push_back({_sender, _local.to_string(), std::string(_data)});
        });
    }

    // A plain Asio socket on the loopback address of _protocol, sending to the receiver's port.
    boost::asio::ip::udp::socket sender(const char* _loopback) {
        boost::asio::ip::udp::socket socket(loop->get_io_context());
        const auto address = make_address(_loopback);
        socket.open(address.is_v4() ? boost::asio::ip::udp::v4() : boost::asio::ip::udp::v6());
        socket.bind(udp::endpoint(address, 0));
        return socket;
    }

    udp::endpoint to_receiver(const char* _loopback) {
        return udp::endpoint(make_address(_loopback), receiver->local_endpoint().port());
    }
};

TEST_F(udp_socket_test, datagrams_arrive_whole_in_order_with_their_sender_and_local_address) {
    receiver = loop->create_udp_socket(core::ip_protocol::v4, 0);
    EXPECT_EQ(receiver->local_endpoint().address().to_string(), "0.0.0.0");
    EXPECT_NE(receiver->local_endpoint().port(), 0);
    record();
    auto source = sender("127.0.0.1");
    const std::vector<std::string> sent{"first", "", std::string(65507, 'x'), "last"};
    for (const auto& data : sent) {
        source.send_to(boost::asio::buffer(data), to_receiver("127.0.0.1"));
    }
    EXPECT_TRUE(run_until([&] { return received.size() == sent.size(); }));
    for (std::size_t i = 0; i < received.size(); ++i) {
        EXPECT_EQ(received[i].data, sent[i]);
        EXPECT_EQ(received[i].sender, source.local_endpoint());
        EXPECT_EQ(received[i].local_address, "127.0.0.1");
    }
}

TEST_F(udp_socket_test, an_ipv6_socket_reports_senders_of_either_family) {
    receiver = loop->create_udp_socket(core::ip_protocol::v6, 0);
    record();
    auto over_ipv6 = sender("::1");
    over_ipv6.send_to(boost::asio::buffer(std::string("six")), to_receiver("::1"));
    auto over_ipv4 = sender("127.0.0.1");
    over_ipv4.send_to(boost::asio::buffer(std::string("four")), to_receiver("127.0.0.1"));
    EXPECT_TRUE(run_until([&] { return received.size() == 2; }));
    for (const auto& datagram : received) {
        if (datagram.data == "six") {
            EXPECT_EQ(datagram.sender, over_ipv6.local_endpoint());
            EXPECT_EQ(datagram.local_address, "0.0.0.0");
        } else {
            EXPECT_EQ(datagram.sender.address().to_string(), "::ffff:127.0.0.1");
            EXPECT_EQ(datagram.sender.port(), over_ipv4.local_endpoint().port());
            EXPECT_EQ(datagram.local_address, "127.0.0.1");
        }
    }
}

TEST_F(udp_socket_test, sends_take_literal_addresses_and_ports_modulo_65536) {
    receiver = loop->create_udp_socket("127.0.0.1", 0);
    record();
    const auto socket = loop->create_udp_socket(core::ip_protocol::v4, 0);
    socket->send_to("127.0.0.1", receiver->local_endpoint().port() + 65536, "wrapped");
    EXPECT_TRUE(run_until([&] { return received.size() == 1; }));
    EXPECT_EQ(received.front().data, "wrapped");
    EXPECT_EQ(received.front().sender.port(), socket->local_endpoint().port());

    EXPECT_THROW(socket->make_endpoint("localhost", 53), boost::system::system_error);
    EXPECT_TRUE(socket->make_endpoint("::1", 53).address().is_v6());
    EXPECT_THROW(socket->send_to("::1", 53, "wrong family"), boost::system::system_error);
    EXPECT_THROW(loop->create_udp_socket("localhost", 0), boost::system::system_error);
}

TEST_F(udp_socket_test, callbacks_are_refused_empty_and_may_replace_or_destroy_their_socket) {
    receiver = loop->create_udp_socket("127.0.0.1", 0);
    EXPECT_THROW(receiver->set_receive_callback(nullptr), core::exception);
    std::vector<std::string> calls;
    receiver->set_receive_callback([&, name = std::string(64, 'a')](
                                       const udp::endpoint&, const boost::asio::ip::address_v4&,
                                       const boost::string_view& _data) {
        receiver->set_receive_callback([&](const udp::endpoint&, const boost::asio::ip::address_v4&,
                                           const boost::string_view& _next) {
            calls.push_back("second " + std::string(_next));
            receiver.reset();
            calls.push_back("after destroying its socket");
        });
        calls.push_back(name + std::string(_data));
    });
    auto source = sender("127.0.0.1");
    for (const char* data : {"1", "2", "3"}) {
        source.send_to(boost::asio::buffer(std::string(data)), to_receiver("127.0.0.1"));
    }
    EXPECT_TRUE(run_until([&] { return receiver == nullptr; }));
    source.close();
    EXPECT_TRUE(run_out());
    EXPECT_EQ(calls, (std::vector<std::string>{std::string(64, 'a') + "1", "second 2",
                                               "after destroying its socket"}));
}

}  // namespace
