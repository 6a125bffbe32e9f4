#include "config.h"

#include <core/core.h>
#include <core/events_loop.h>
#include <core/get_config_file_name.h>
#include <core/ignore_broken_pipes.h>
#include <core/logger.h>
#include <azmq/socket.hpp>

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>

namespace core = zel::libs::core;

namespace {

// Anyone who reaches the ports may send, and ZeroMQ holds what a peer sends: about 32 bytes per
// byte of a subscription, and a frame whole until its last byte. Far above any real topic or
// record, these make ZeroMQ drop the peer instead.
constexpr std::int64_t max_subscription_size = 4 * 1024;
constexpr std::int64_t max_frame_size = 64 * 1024 * 1024;

// Both sockets are used on the main thread only (the signal thread only stops the loop), so
// their locks are never contended; taken three times per frame, they still cost about a sixth of
// the relay's CPU.
constexpr bool optimize_single_threaded = true;

}  // namespace

// Arms one receive on _input whose completion re-arms the next, then
// republishes the frame it got. The handler holds the input weakly, so that
// destroying the socket ends the chain.
void setup_pipeline(std::shared_ptr<azmq::detail::specialized_socket<7>> _input,
                    azmq::pub_socket& _output, const core::logger& _logger) {
    _input->async_receive(
        [weak_input = std::weak_ptr<azmq::detail::specialized_socket<7>>(_input), &_output,
         &_logger](boost::system::error_code& _error, azmq::message& _message, std::size_t) {
            if (_error == boost::asio::error::operation_aborted) {
                return;
            }
            auto input = weak_input.lock();
            if (!input) {
                return;
            }
            // Re-arm before anything can throw, so that a failed send loses only
            // this frame. The pointer is handed on, not copied: every reference
            // count change is an atomic operation on the path of every frame.
            setup_pipeline(std::move(input), _output, _logger);
            if (_error) {
                _logger.log_error(_error, ZEL_LOCATION);
                return;
            }
            boost::system::error_code send_error;
            _output.send(std::move(_message), 0, send_error);
            if (send_error) {
                throw boost::system::system_error(send_error);
            }
        });
}

int main(int argc, char** argv) {
    // Before the first record: standard error may be a pipe whose reader is gone.
    core::ignore_broken_pipes();
    core::logger logger("vandrel", "main");
    logger.execute([&] {
        logger.set_writing_to_socket(false);
        const auto file_name = core::get_config_file_name(argc, argv);
        std::ifstream stream(file_name);
        const zel::config config(stream);
        const auto core = core::core::create(logger);
        const auto loop = core->create_events_loop("main");
        const auto signals = loop->stop_on_signals();

        azmq::pub_socket output(loop->get_io_context(), optimize_single_threaded);
        output.set_option(azmq::socket::max_message_size(max_subscription_size));
        output.bind(config.system.output_address);
        // Otherwise the output learns how far a subscriber has read only about once a
        // millisecond while it sends, and drops frames for a subscriber that has made room.
        output.process_commands_on_arrival();
        auto input = std::make_shared<azmq::detail::specialized_socket<7>>(
            loop->get_io_context(), optimize_single_threaded);
        input->set_option(azmq::socket::max_message_size(max_frame_size));
        input->bind(config.system.input_address);
        setup_pipeline(input, output, logger);

        while (!logger.execute([&] { loop->run(); })) {
        }

        input->cancel();
        logger.info("exit").location(ZEL_LOCATION);
    });
    return 0;
}
