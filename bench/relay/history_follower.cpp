#include "history_follower.h"

#include "history/history_protocol.h"

#include <string>

namespace relay_bench {

history_follower::history_follower(zmq::context_t& _context, const std::string& _endpoint)
    : m_socket(_context, zmq::socket_type::dealer) {
    m_socket.set(zmq::sockopt::linger, 0);
    m_socket.set(zmq::sockopt::rcvtimeo, 100);
    m_socket.connect(_endpoint);
    m_socket.send(zmq::str_buffer("last 0"));
    m_thread = std::thread([this] { read(); });
}

std::uint64_t history_follower::stop() {
    m_stopping = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return m_records;
}

// Says what it read, as a reader must for the relay to send more.
void history_follower::read() {
    namespace protocol = zel::history_protocol;
    zmq::message_t frame;
    std::size_t unreported = 0;
    while (!m_stopping) {
        if (!m_socket.recv(frame)) {
            continue;
        }
        // A stopping relay waits for the word.
        if (frame.to_string_view().substr(0, 4) == "end ") {
            m_socket.send(zmq::str_buffer("bye"));
        } else if (frame.to_string_view().substr(0, 7) == "record " && m_socket.recv(frame)) {
            ++m_records;
            unreported += frame.size();
        }
        if (unreported >= protocol::read_report) {
            m_socket.send(zmq::buffer("read " + std::to_string(unreported)));
            unreported = 0;
        }
    }
}

}  // namespace relay_bench
