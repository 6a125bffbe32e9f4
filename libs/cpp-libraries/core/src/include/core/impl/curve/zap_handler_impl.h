#pragma once

#include <core/component_logger.h>
#include <core/curve/zap_handler.h>
#include <core/impl/curve/allow_list.h>
#include <core/impl/curve/refusal_log.h>

#include <azmq/socket.hpp>

#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>

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
    void reload() override;
    const refusals& refused() const override { return m_state->log->counts(); }
    const reloads& reloaded() const override { return m_state->reload_counts; }

private:
    // What the pending receive and a reading's answer hold weakly, so that a completion after the
    // handler is gone touches nothing.
    struct state {
        state(boost::asio::io_context& _io_context, const component_logger& _logger,
              std::string _clients_directory);

        const component_logger& logger;
        azmq::socket zap;
        const std::string clients_directory;
        allow_list allowed;
        // Shared with the watches, which may outlive the handler.
        std::shared_ptr<refusal_log> log;
        reloads reload_counts;
        bool reading = false;
        bool another_waits = false;
        // Gone with the state, after the reading it runs, if any.
        boost::asio::thread_pool reader{1};
    };

    static void receive_next(const std::shared_ptr<state>& _state);
    static void read_again(const std::shared_ptr<state>& _state);
    static void apply(const std::shared_ptr<state>& _state, allow_list&& _read,
                      const std::string& _error);
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
