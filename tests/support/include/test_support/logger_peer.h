#pragma once

// Header-only: it needs the core library and cppzmq, which the suites that use
// it link and test_support does not.
#include <core/logger.h>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <chrono>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace test_support {

// The date part of a record, "YYYY-mm-dd HH:MM:SS.mmm ", as a regular
// expression that reads the same in ECMAScript and POSIX extended syntax.
inline const std::string date_pattern =
    "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} ";

// A ZeroMQ PULL socket with a context of its own, bound on a free loopback
// port: what a relay is to a logger's debug socket.
class pull_peer {
public:
    pull_peer() : m_socket(m_context, zmq::socket_type::pull) {
        m_socket.set(zmq::sockopt::linger, 0);
        m_socket.set(zmq::sockopt::rcvtimeo, 5000);
        m_socket.bind("tcp://127.0.0.1:*");
    }

    std::string endpoint() const { return m_socket.get(zmq::sockopt::last_endpoint); }

    // The next frame, or nothing when none arrives within five seconds.
    std::optional<std::string> receive() {
        zmq::message_t frame;
        return m_socket.recv(frame) ? std::optional<std::string>(frame.to_string()) : std::nullopt;
    }

private:
    zmq::context_t m_context;
    zmq::socket_t m_socket;
};

// The process logger of application "vandrel", component "main", its debug
// socket connected to a pull_peer; the "Connected to socket" frame is kept.
class connected_logger : public ::testing::Test {
protected:
    connected_logger() {
        logger.connect(peer.endpoint());
        connected_record = next_frame();
    }

    std::string next_frame() { return peer.receive().value_or("<no frame>"); }

    // The texts of the next _count frames after _prefix and the date part; a
    // frame without them comes back whole and marked, for the failure to show.
    std::vector<std::string> next_bodies(std::size_t _count,
                                         const std::string& _prefix = "&vandrel:main ") {
        const std::regex record(_prefix + date_pattern + "(.*)");
        std::vector<std::string> bodies;
        for (std::size_t i = 0; i < _count; ++i) {
            const std::string frame = next_frame();
            std::smatch match;
            bodies.push_back(std::regex_match(frame, match, record) ? match[1].str()
                                                                    : "<unexpected> " + frame);
        }
        return bodies;
    }
    std::string next_body(const std::string& _prefix = "&vandrel:main ") {
        return next_bodies(1, _prefix).front();
    }

    // Declared first to outlive the logger, whose context waits for queued
    // records to be delivered.
    pull_peer peer;
    zel::libs::core::logger logger{"vandrel", "main"};
    std::string connected_record;
};

}  // namespace test_support
