#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace zel {
namespace tail {

// Says on standard error what the tail is waiting for, so that it never waits in silence: the
// endpoint, once it has been without a relay for a few seconds (at start, or after losing it), and
// that the endpoint's host does not resolve, when it does not. With verbose, also each connection
// and loss. Used on one thread.
class connection_notice {
public:
    using clock = std::chrono::steady_clock;

    // How long a tail waits without a relay before it says so.
    static constexpr std::chrono::seconds patience{3};

    connection_notice(std::string _endpoint, bool _verbose);

    void connection_changed(bool _connected);
    // Called often (a few times a second): says what has become due.
    void tick(clock::time_point _now = clock::now());

private:
    struct resolution;

    void start_resolving();

    std::string m_endpoint;
    bool m_verbose;
    bool m_connected = false;
    bool m_waiting_said = false;
    bool m_resolution_said = false;
    clock::time_point m_unconnected_since = clock::now();
    // Filled by a thread of its own: a name server may take long to answer, and the tail must
    // still end at once. Empty when the host is an address, or not yet asked.
    std::shared_ptr<resolution> m_resolution;
};

}  // namespace tail
}  // namespace zel
