#pragma once

#include <core/curve/zap_handler.h>
#include <core/impl/curve/refusal_log.h>
#include <core/impl/zmq/handshake_pairing.h>
#include <core/impl/zmq/socket_monitor.h>

#include <boost/asio/io_context.hpp>

#include <memory>

namespace zel {
namespace libs {
namespace core {
namespace curve {

// Counts the peers a secured socket refuses before they reach the ZAP handler: those that do
// not speak CURVE, and failed handshakes; and tells _on_connection, when set, of its peers, as
// connection_monitor does.
class handshake_watch : public zap_handler::watch {
public:
    handshake_watch(boost::asio::io_context& _io_context, void* _socket,
                    std::shared_ptr<refusal_log> _log,
                    zap_handler::connection_callback _on_connection);

private:
    std::shared_ptr<refusal_log> m_log;
    handshake_pairing m_pairing;
    // Its destruction stops the monitoring: no call comes after it.
    socket_monitor m_monitor;
};

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
