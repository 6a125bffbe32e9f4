#include <test_support/endpoints.h>
#include <azmq/socket.hpp>

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/system/error_code.hpp>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

// Binds a PULL socket to _endpoint, connects a PUSH socket to where it is bound and tells
// whether a frame gets through.
bool carries_a_frame(const std::string& _endpoint) {
    boost::asio::io_context io_context;
    azmq::socket pull(io_context, ZMQ_PULL);
    pull.set_option(azmq::detail::integer_option<ZMQ_RCVTIMEO, int>(5000));
    pull.bind(_endpoint);
    char bound[256];
    std::size_t size = sizeof bound;
    zmq_getsockopt(pull.native_handle(), ZMQ_LAST_ENDPOINT, bound, &size);
    azmq::socket push(io_context, ZMQ_PUSH);
    push.set_option(azmq::detail::integer_option<ZMQ_SNDTIMEO, int>(5000));
    push.connect(bound);
    boost::system::error_code error;
    push.send(azmq::message(std::string("frame")), 0, error);
    azmq::message frame;
    if (!error) {
        pull.receive(frame, 0, error);
    }
    return !error && frame.string() == "frame";
}

TEST(endpoint, ipv6_and_ipv4_literals_are_bound_and_reached) {
    EXPECT_TRUE(carries_a_frame("tcp://[::1]:*"));
    EXPECT_TRUE(carries_a_frame("tcp://127.0.0.1:*"));
}

TEST(endpoint, an_ipc_socket_file_nobody_listens_on_is_bound_over) {
    const std::string endpoint = test_support::unique_ipc_endpoint();
    const std::string path = endpoint.substr(std::strlen("ipc://"));
    const int left_behind = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    ASSERT_EQ(bind(left_behind, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(left_behind);
    EXPECT_TRUE(carries_a_frame(endpoint));
}

}  // namespace
