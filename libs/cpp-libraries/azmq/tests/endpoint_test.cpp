#include <test_support/endpoints.h>
#include <azmq/socket.hpp>

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/system/error_code.hpp>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using receive_timeout = azmq::detail::integer_option<ZMQ_RCVTIMEO, int>;
using send_timeout = azmq::detail::integer_option<ZMQ_SNDTIMEO, int>;

// Pushes one frame to _endpoint and tells whether _pull receives it.
bool carries_a_frame(azmq::socket& _pull, const std::string& _endpoint) {
    azmq::socket push(_pull.get_io_context(), ZMQ_PUSH);
    push.set_option(send_timeout(5000));
    push.connect(_endpoint);
    boost::system::error_code error;
    push.send(azmq::message(std::string("frame")), 0, error);
    _pull.set_option(receive_timeout(5000));
    azmq::message frame;
    if (!error) {
        _pull.receive(frame, 0, error);
    }
    return !error && frame.string() == "frame";
}

std::string last_endpoint(azmq::socket& _socket) {
    char text[256];
    std::size_t size = sizeof text;
    zmq_getsockopt(_socket.native_handle(), ZMQ_LAST_ENDPOINT, text, &size);
    return text;
}

TEST(endpoint, text_libzmq_would_read_as_another_endpoint_is_refused) {
    boost::asio::io_context io_context;
    azmq::socket pull(io_context, ZMQ_PULL);
    const std::string free = "tcp://127.0.0.1:" + std::to_string(test_support::free_tcp_port());
    for (const std::string& endpoint :
         {std::string("tcp://127.0.0.1:99999"), std::string("tcp://127.0.0.1:-1"),
          std::string("tcp://127.0.0.1:"), free + std::string(1, '\0') + "junk"}) {
        boost::system::error_code error;
        pull.bind(endpoint, error);
        EXPECT_EQ(error, boost::system::errc::invalid_argument) << endpoint;
        EXPECT_EQ(error.message(), "Invalid argument");
        pull.connect(endpoint, error);
        EXPECT_EQ(error, boost::system::errc::invalid_argument) << endpoint;
    }
    pull.bind(free);
    EXPECT_TRUE(carries_a_frame(pull, free));
}

TEST(endpoint, ipv6_and_ipv4_literals_both_carry_frames) {
    for (const std::string host : {"[::1]", "127.0.0.1"}) {
        boost::asio::io_context io_context;
        azmq::socket pull(io_context, ZMQ_PULL);
        pull.bind("tcp://" + host + ":*");
        EXPECT_TRUE(carries_a_frame(pull, last_endpoint(pull))) << host;
    }
}

struct ipc_directory : ::testing::Test {
    std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("azmq-ipc-" + std::to_string(getpid()));
    ipc_directory() { std::filesystem::create_directories(directory); }
    ~ipc_directory() override { std::filesystem::remove_all(directory); }
    std::string endpoint(const std::string& _name) const {
        return "ipc://" + (directory / _name).string();
    }
};

TEST_F(ipc_directory, a_path_in_use_is_refused_and_left_as_it_is) {
    boost::asio::io_context io_context;
    azmq::socket pull(io_context, ZMQ_PULL);
    boost::system::error_code error;

    std::ofstream(directory / "file") << "someone's data";
    pull.bind(endpoint("file"), error);
    EXPECT_EQ(error, boost::system::errc::address_in_use);
    EXPECT_EQ(error.message(), "Address already in use");
    std::string kept;
    std::getline(std::ifstream(directory / "file"), kept);
    EXPECT_EQ(kept, "someone's data");

    azmq::socket listening(io_context, ZMQ_PULL);
    listening.bind(endpoint("live"));
    pull.bind(endpoint("live"), error);
    EXPECT_EQ(error, boost::system::errc::address_in_use);
    EXPECT_TRUE(carries_a_frame(listening, endpoint("live")));
}

TEST_F(ipc_directory, a_socket_nobody_listens_on_is_replaced) {
    const std::string path = (directory / "stale").string();
    const int left_behind = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    ASSERT_EQ(bind(left_behind, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(left_behind);

    boost::asio::io_context io_context;
    azmq::socket pull(io_context, ZMQ_PULL);
    pull.bind(endpoint("stale"));
    EXPECT_TRUE(carries_a_frame(pull, endpoint("stale")));
}

}  // namespace
