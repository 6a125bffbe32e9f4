#include <core/impl/zmq/handshake_pairing.h>

#include <zmq.h>

#include <utility>

namespace zel {
namespace libs {
namespace core {

namespace {

constexpr int failures = ZMQ_EVENT_HANDSHAKE_FAILED_NO_DETAIL |
                         ZMQ_EVENT_HANDSHAKE_FAILED_PROTOCOL | ZMQ_EVENT_HANDSHAKE_FAILED_AUTH;

}  // namespace

const int handshake_pairing::events =
    ZMQ_EVENT_HANDSHAKE_SUCCEEDED | failures | ZMQ_EVENT_DISCONNECTED;

handshake_pairing::handshake_pairing(callback _callback) : m_callback(std::move(_callback)) {}

void handshake_pairing::on_event(std::uint16_t _event) {
    if ((_event & failures) != 0) {
        ++m_failures_unpaired;
    } else if (_event == ZMQ_EVENT_HANDSHAKE_SUCCEEDED) {
        m_callback(true);
    } else if (_event == ZMQ_EVENT_DISCONNECTED) {
        if (m_failures_unpaired != 0) {
            --m_failures_unpaired;
        } else {
            m_callback(false);
        }
    }
}

}  // namespace core
}  // namespace libs
}  // namespace zel
