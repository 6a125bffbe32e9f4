#include "command_line.h"
#include "config.h"
#include "endpoint_security.h"
#include "forwarder.h"
#include "generate_keys.h"
#include "reload_on_hangup.h"

#include <core/constants.h>
#include <core/core.h>
#include <core/events_loop.h>
#include <core/get_config_file_name.h>
#include <core/ignore_broken_pipes.h>
#include <core/logger.h>
#include <core/service/notifier.h>

#include <chrono>
#include <iostream>

namespace core = zel::libs::core;

namespace {

// How often the service manager, when there is one, learns how much the relay has relayed.
constexpr std::chrono::seconds status_period(2);

}  // namespace

int main(int argc, char** argv) {
    // Before the first record: standard error may be a pipe whose reader is gone.
    core::ignore_broken_pipes();
    // Answered before the logger exists: asking for help starts nothing and logs nothing.
    const auto request = zel::requested_before_start(argc, argv);
    if (!request.information.empty()) {
        std::cout << request.information;
        return 0;
    }
    if (request.key_prefix) {
        return zel::generate_keys(*request.key_prefix);
    }
    core::logger logger("vandrel", "main");
    logger.execute([&] {
        logger.set_writing_to_socket(false);
        const auto file_name = core::get_config_file_name(argc, argv);
        const auto config = zel::config::read(file_name);
        const auto core = core::core::create(logger);
        const auto loop = core->create_events_loop("main");
        const auto signals = loop->stop_on_signals();

        // Made before the sockets it secures, and destroyed after them.
        zel::endpoint_security security(*loop, logger, config.system.curve);
        zel::forwarder forwarder(
            loop->get_io_context(), config.system.input_address, config.system.output_address,
            logger, [&security](azmq::socket& _socket) { return security.secure(_socket); });
        const zel::reload_on_hangup hangup(loop->get_io_context(),
                                           [&security] { security.reload(); });
        forwarder.start();
        logger.info("vandrel %1%, configuration %2%, input %3%, output %4%") %
            core::constants::git_version % file_name % forwarder.input_endpoint() %
            forwarder.output_endpoint();

        const auto notifier = core::service::notifier::create(
            *loop, logger,
            [&forwarder, &security] {
                const auto refused = security.status();
                return forwarder.counters().status() + (refused.empty() ? "" : "; " + refused);
            },
            status_period);
        notifier->ready();
        while (!logger.execute([&] { loop->run(); })) {
        }
        // Only a signal stops the loop.
        notifier->stopping();

        forwarder.stop();
        logger.info("exit").location(ZEL_LOCATION);
    });
    return 0;
}
