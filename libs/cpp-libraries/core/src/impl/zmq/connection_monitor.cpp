#include <core/impl/zmq/connection_monitor.h>

#include <utility>

namespace zel {
namespace libs {
namespace core {

connection_monitor::connection_monitor(boost::asio::io_context& _io_context, azmq::socket& _socket,
                                       callback _callback)
    : m_pairing(std::move(_callback))
    , m_monitor(_io_context, _socket.native_handle(), handshake_pairing::events,
                [this](std::uint16_t _event, std::uint32_t, boost::string_view) {
                    m_pairing.on_event(_event);
                }) {}

}  // namespace core
}  // namespace libs
}  // namespace zel
