#include "command_line.h"
#include "config.h"
#include "forwarder.h"
#include "history.h"
#include "history_server.h"

#include <core/constants.h>
#include <core/core.h>
#include <core/events_loop.h>
#include <core/get_config_file_name.h>
#include <core/ignore_broken_pipes.h>
#include <core/logger.h>
#include <core/service/notifier.h>

#include <chrono>
#include <iostream>
#include <memory>

namespace core = zel::libs::core;

namespace {

// How often the service manager, when there is one, learns how much the relay has relayed.
constexpr std::chrono::seconds status_period(2);

}  // namespace

int main(int argc, char** argv) {
    // Before the first record: standard error may be a pipe whose reader is gone.
    core::ignore_broken_pipes();
    // Answered before the logger exists: asking for help starts nothing and logs nothing.
    const auto information = zel::requested_information(argc, argv);
    if (!information.empty()) {
        std::cout << information;
        return 0;
    }
    core::logger logger("vandrel", "main");
    logger.execute([&] {
        logger.set_writing_to_socket(false);
        const auto file_name = core::get_config_file_name(argc, argv);
        const auto config = zel::config::read(file_name);
        const auto core = core::core::create(logger);
        const auto loop = core->create_events_loop("main");
        const auto signals = loop->stop_on_signals();

        std::unique_ptr<zel::history> history;
        std::unique_ptr<zel::history_server> history_server;
        if (!config.system.history_address.empty()) {
            history = std::make_unique<zel::history>(config.system.history_bytes);
            history_server = std::make_unique<zel::history_server>(
                loop->get_io_context(), *history, config.system.history_address, logger);
            history_server->start();
            logger.info("history %1%, %2% bytes, relay start %3%") % history_server->endpoint() %
                config.system.history_bytes % history_server->identity();
        }
        zel::forwarder forwarder(loop->get_io_context(), config.system.input_address,
                                 config.system.output_address, logger, history.get());
        forwarder.start();
        logger.info("vandrel %1%, configuration %2%, input %3%, output %4%") %
            core::constants::git_version % file_name % forwarder.input_endpoint() %
            forwarder.output_endpoint();

        const auto notifier = core::service::notifier::create(
            *loop, logger, [&forwarder] { return forwarder.counters().status(); }, status_period);
        notifier->ready();
        while (!logger.execute([&] { loop->run(); })) {
        }
        // Only a signal stops the loop.
        notifier->stopping();

        forwarder.stop();
        if (history_server) {
            history_server->stop();
        }
        logger.info("exit").location(ZEL_LOCATION);
    });
    return 0;
}
