#include <core/impl/zmq/socket_monitor.h>

#include <boost/system/system_error.hpp>

#include <zmq.h>

#include <atomic>
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
    return "inproc://zel-socket-monitor-" + std::to_string(next++);
}

}  // namespace

socket_monitor::socket_monitor(boost::asio::io_context& _io_context, void* _socket, int _events,
                               callback _callback)
    : m_socket(_socket)
    , m_state(std::make_shared<state>(
          state{azmq::socket(_io_context, ZMQ_PAIR), std::move(_callback)})) {
    const std::string endpoint = unique_monitor_endpoint();
    if (zmq_socket_monitor(_socket, endpoint.c_str(), _events) != 0) {
        throw boost::system::system_error(zmq_errno(), boost::system::generic_category(),
                                          "zmq_socket_monitor");
    }
    m_state->events.connect(endpoint);
    receive_next(m_state);
}

socket_monitor::~socket_monitor() {
    zmq_socket_monitor(m_socket, nullptr, 0);
    m_state->on_event = nullptr;
}

void socket_monitor::receive_next(const std::shared_ptr<state>& _state) {
    _state->events.async_receive(
        [weak_state = std::weak_ptr<state>(_state)](boost::system::error_code& _error,
                                                    azmq::message& _frame, std::size_t) {
            const auto state = weak_state.lock();
            if (_error || !state || !state->on_event) {
                return;
            }
            // An event is two frames: its number and value, then the endpoint.
            std::uint16_t event = 0;
            std::uint32_t value = 0;
            if (_frame.size() >= sizeof event + sizeof value) {
                std::memcpy(&event, _frame.data(), sizeof event);
                std::memcpy(&value, static_cast<const char*>(_frame.data()) + sizeof event,
                            sizeof value);
            }
            azmq::message endpoint;
            boost::system::error_code ignored;
            state->events.receive(endpoint, ZMQ_DONTWAIT, ignored);
            receive_next(state);
            // A copy runs, so that the callback may end the monitoring.
            auto on_event = state->on_event;
            on_event(event, value, endpoint.string());
        });
}

}  // namespace core
}  // namespace libs
}  // namespace zel
