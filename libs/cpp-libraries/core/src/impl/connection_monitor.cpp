#include <core/impl/connection_monitor.h>

#include <boost/system/system_error.hpp>

#include <zmq.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace zel {
namespace libs {
namespace core {

namespace {

// An inproc name no other monitor of the process takes.
std::string unique_monitor_endpoint() {
    static std::atomic<std::uint64_t> next{0};
    return "inproc://zel-connection-monitor-" + std::to_string(next++);
}

}  // namespace

connection_monitor::connection_monitor(boost::asio::io_context& _io_context, azmq::socket& _socket,
                                       callback _callback)
    : m_socket(_socket)
    , m_state(std::make_shared<state>(
          state{azmq::socket(_io_context, ZMQ_PAIR), std::move(_callback)})) {
    const std::string endpoint = unique_monitor_endpoint();
    if (zmq_socket_monitor(m_socket.native_handle(), endpoint.c_str(),
                           ZMQ_EVENT_CONNECTED | ZMQ_EVENT_ACCEPTED | ZMQ_EVENT_DISCONNECTED) !=
        0) {
        throw boost::system::system_error(zmq_errno(), boost::system::generic_category(),
                                          "zmq_socket_monitor");
    }
    m_state->events.connect(endpoint);
    receive_next(m_state);
}

connection_monitor::~connection_monitor() {
    zmq_socket_monitor(m_socket.native_handle(), nullptr, 0);
    m_state->on_change = nullptr;
}

void connection_monitor::receive_next(const std::shared_ptr<state>& _state) {
    _state->events.async_receive(
        [weak_state = std::weak_ptr<state>(_state)](boost::system::error_code& _error,
                                                    azmq::message& _frame, std::size_t) {
            const auto state = weak_state.lock();
            if (_error || !state || !state->on_change) {
                return;
            }
            // An event is two frames: its number and value, then the endpoint's address, of no
            // use here but which must still be read.
            std::uint16_t event = 0;
            if (_frame.size() >= sizeof event) {
                std::memcpy(&event, _frame.data(), sizeof event);
            }
            azmq::message address;
            boost::system::error_code ignored;
            state->events.receive(address, ZMQ_DONTWAIT, ignored);
            receive_next(state);
            if (event != 0) {
                // A copy runs, so that the callback may end the monitoring.
                auto on_change = state->on_change;
                on_change(event != ZMQ_EVENT_DISCONNECTED);
            }
        });
}

}  // namespace core
}  // namespace libs
}  // namespace zel
