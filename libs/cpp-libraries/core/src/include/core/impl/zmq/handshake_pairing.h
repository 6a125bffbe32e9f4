#pragma once

#include <cstdint>
#include <functional>

namespace zel {
namespace libs {
namespace core {

// Turns a socket's monitor events into its peers coming and going: a peer comes when its
// handshake succeeds, and goes when a connection that came ends. A connection that never
// completes its handshake (a port scanner, a stranger's key, a plaintext client) comes and goes
// unseen.
//
// libzmq's events name the socket's own endpoint, not the peer, so they cannot be paired by
// connection; but libzmq tells every connection whose handshake did not succeed by a failure
// event before its disconnection, so each disconnection beyond the failures told is a peer's.
class handshake_pairing {
public:
    using callback = std::function<void(bool _connected)>;

    // The events on_event needs: monitor at least these.
    static const int events;

    explicit handshake_pairing(callback _callback);

    // Any event may come: those that are not among events are ignored.
    void on_event(std::uint16_t _event);
    bool has_callback() const { return static_cast<bool>(m_callback); }

private:
    callback m_callback;
    // Failed handshakes whose disconnection has not come yet.
    std::uint64_t m_failures_unpaired = 0;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
