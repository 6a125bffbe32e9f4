#pragma once

#include <azmq/socket.hpp>

#include <boost/asio/io_context.hpp>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace azmq_test {

// Runs _io_context until _done() holds or _timeout has passed; returns _done().
template <typename Predicate>
bool run_until(boost::asio::io_context& _io_context, Predicate _done,
               std::chrono::milliseconds _timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + _timeout;
    while (!_done() && std::chrono::steady_clock::now() < deadline) {
        _io_context.run_one_for(std::chrono::milliseconds(10));
        _io_context.restart();
    }
    return _done();
}

// Keeps one receive pending on a socket, as the relay does, and records what arrives. The
// chain ends at the first error.
class receive_loop {
public:
    explicit receive_loop(azmq::socket& _socket) : m_socket(_socket) {}

    void start() {
        m_socket.async_receive(
            [this](boost::system::error_code& _error, azmq::message& _frame, std::size_t _bytes) {
                if (_error) {
                    m_error = _error;
                    return;
                }
                start();
                m_frames.emplace_back(_frame.string());
                m_more.push_back(_frame.more());
                m_bytes += _bytes;
                ++m_count;
            });
    }

    const std::vector<std::string>& frames() const { return m_frames; }
    const std::vector<bool>& more() const { return m_more; }
    const boost::system::error_code& error() const { return m_error; }
    std::size_t bytes() const { return m_bytes; }
    // Frames received so far; the only member to read while another thread runs the loop.
    std::size_t count() const { return m_count; }

private:
    azmq::socket& m_socket;
    std::vector<std::string> m_frames;
    std::vector<bool> m_more;
    boost::system::error_code m_error;
    std::size_t m_bytes = 0;
    std::atomic<std::size_t> m_count{0};
};

}  // namespace azmq_test
