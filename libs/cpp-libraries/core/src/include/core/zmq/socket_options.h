#pragma once

#include <boost/optional.hpp>

#include <cstdint>

namespace zel {
namespace libs {
namespace core {
namespace zmq {

// What a socket may be made to hold, set when it is made; each left empty keeps ZeroMQ's default.
struct socket_options {
    // Inbound messages above this many bytes make ZeroMQ close the connection they came over: a
    // peer that connected to a socket that binds may connect again, but a socket that connects
    // does not, and hears no more from that peer. The default is no limit.
    boost::optional<std::int64_t> m_max_message_size;
    // Frames queued for each peer before sending blocks or drops, as the socket type does when
    // a peer is full (ZeroMQ's default: 1,000; 0: no limit).
    boost::optional<int> m_send_high_water_mark;
    // Frames received from each peer that wait for the callback before ZeroMQ stops reading
    // from that peer (ZeroMQ's default: 1,000; 0: no limit).
    boost::optional<int> m_receive_high_water_mark;
};

}  // namespace zmq
}  // namespace core
}  // namespace libs
}  // namespace zel
