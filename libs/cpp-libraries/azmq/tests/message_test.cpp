#include "inproc_pipe.hpp"

#include <azmq/message.hpp>

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>

#include <string>

TEST(message, holds_a_copy_of_bytes_and_buffers) {
    const char bytes[] = {'a', '\0', 'b'};
    const azmq::message from_bytes(bytes, sizeof bytes);
    EXPECT_EQ(from_bytes.string(), boost::string_view(bytes, sizeof bytes));
    EXPECT_NE(from_bytes.data(), static_cast<const void*>(bytes));

    const azmq::message from_buffer(boost::asio::buffer(std::string("frame")));
    EXPECT_EQ(from_buffer.buffer().size(), 5u);
    EXPECT_EQ(from_buffer.string(), "frame");

    EXPECT_EQ(azmq::message(std::size_t(7)).size(), 7u);
    EXPECT_EQ(azmq::message().size(), 0u);
    EXPECT_FALSE(azmq::message().more());
}

TEST(message, adopts_a_long_string_without_copying_and_moves_its_content) {
    std::string text(1000, 'x');
    const void* original = text.data();
    azmq::message frame(std::move(text));
    EXPECT_EQ(frame.data(), original);
    EXPECT_EQ(frame.size(), 1000u);

    azmq::message moved(std::move(frame));
    EXPECT_EQ(moved.data(), original);
    EXPECT_EQ(frame.size(), 0u);
    frame = std::move(moved);
    EXPECT_EQ(frame.data(), original);

    // Short text is copied into the frame itself.
    EXPECT_EQ(azmq::message(std::string("short")).string(), "short");
}

// Through inproc libzmq passes the frame itself: the receiver sees the very buffer the
// sender's string owned, and releases it (ASan reports a leak or a double free otherwise).
TEST(message, string_content_travels_without_copy_through_inproc) {
    boost::asio::io_context io_context;
    azmq_test::inproc_pipe pipe(io_context, "message-zero-copy");

    std::string text(4096, 'z');
    const void* original = text.data();
    EXPECT_EQ(pipe.push().send(azmq::message(std::move(text))), 4096u);
    azmq::message received;
    EXPECT_EQ(pipe.pull().receive(received), 4096u);
    EXPECT_EQ(received.data(), original);
    EXPECT_EQ(received.string(), std::string(4096, 'z'));
}
