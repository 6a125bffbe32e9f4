#pragma once

#include <core/component_logger.h>
#include <core/curve/zap_handler.h>
#include <core/impl/curve/allow_list.h>
#include <core/impl/curve/refusal_log.h>

#include <azmq/socket.hpp>

#include <boost/asio/io_context.hpp>

#include <memory>
#include <string>
#include <vector>

namespace zel {
namespace libs {
namespace core {
namespace curve {

class zap_handler_impl : public zap_handler {
public:
    zap_handler_impl(boost::asio::io_context& _io_context, const component_logger& _logger,
                     key_pair _server_keys, std::string _clients_directory);

    watch::ptr secure(void* _socket, connection_callback _on_connection) override;
    std::size_t reload() override;
    const refusals& refused() const override { return m_state->log->counts(); }

private:
    // What the pending receive holds weakly, so that a completion after the handler is gone
    // touches nothing.
    struct state {
        azmq::socket zap;
        allow_list allowed;
        std::string clients_directory;
        // Shared with the watches, which may outlive the handler.
        std::shared_ptr<refusal_log> log;
    };

    static void receive_next(const std::shared_ptr<state>& _state);
    static void answer(state& _state, azmq::message&& _first);
    static bool admits(state& _state, const std::vector<azmq::message>& _request);

    boost::asio::io_context& m_io_context;
    const key_pair m_server_keys;
    std::shared_ptr<state> m_state;
};

}  // namespace curve
}  // namespace core
}  // namespace libs
}  // namespace zel
