#include <core/impl/zmq/connection_monitor.h>

#include <zmq.h>

#include <utility>

namespace zel {
namespace libs {
namespace core {

connection_monitor::connection_monitor(boost::asio::io_context& _io_context, azmq::socket& _socket,
                                       callback _callback)
    : m_monitor(_io_context, _socket.native_handle(),
                ZMQ_EVENT_CONNECTED | ZMQ_EVENT_ACCEPTED | ZMQ_EVENT_DISCONNECTED,
                [callback = std::move(_callback)](std::uint16_t _event, std::uint32_t,
                                                  boost::string_view) {
                    callback(_event != ZMQ_EVENT_DISCONNECTED);
                }) {}

}  // namespace core
}  // namespace libs
}  // namespace zel
