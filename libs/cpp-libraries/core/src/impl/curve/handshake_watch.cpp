#include <core/impl/curve/handshake_watch.h>

#include <zmq.h>

#include <string>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace curve {

namespace {

constexpr int refusal_events =
    ZMQ_EVENT_HANDSHAKE_FAILED_PROTOCOL | ZMQ_EVENT_HANDSHAKE_FAILED_NO_DETAIL;

}  // namespace

handshake_watch::handshake_watch(boost::asio::io_context& _io_context, void* _socket,
                                 std::shared_ptr<refusal_log> _log,
                                 zap_handler::connection_callback _on_connection)
    : m_log(std::move(_log))
    , m_pairing(std::move(_on_connection))
    , m_monitor(_io_context, _socket,
                refusal_events | (m_pairing.has_callback() ? handshake_pairing::events : 0),
                [this](std::uint16_t _event, std::uint32_t _value, boost::string_view _endpoint) {
                    if (m_pairing.has_callback()) {
                        m_pairing.on_event(_event);
                    }
                    if ((_event & refusal_events) == 0) {
                        return;
                    }
                    const bool plaintext = _event == ZMQ_EVENT_HANDSHAKE_FAILED_PROTOCOL &&
                                           _value == ZMQ_PROTOCOL_ERROR_ZMTP_MECHANISM_MISMATCH;
                    // libzmq names a bound socket's own endpoint here, never the peer's address.
                    m_log->refused(plaintext ? &zap_handler::refusals::plaintext
                                             : &zap_handler::refusals::failed_handshake,
                                   "a peer of " + std::string(_endpoint),
                                   plaintext ? "it does not speak CURVE" : "its handshake failed");
                }) {}

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
