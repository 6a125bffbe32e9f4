#include "command_line.h"
#include "config.h"
#include "relay.h"
#include "security/generate_keys.h"

#include <core/core.h>
#include <core/events_loop.h>
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
    const auto command = zel::read_command_line(argc, argv);
    if (command.what == zel::command_line::action::print) {
        std::cout << command.text;
        return zel::exit_status::success;
    }
    if (command.what == zel::command_line::action::generate_keys) {
        return zel::generate_keys(command.key_prefix);
    }
    core::logger logger("vandrel", "main");
    logger.set_writing_to_socket(false);
    if (command.what == zel::command_line::action::usage_error) {
        logger.error("%1%") % command.text;
        return zel::exit_status::usage;
    }
    int status = zel::exit_status::failure;
    logger.execute([&] {
        const auto& file_name = command.config_file;
        const auto config = zel::config::read(file_name);
        for (const auto& warning : config.warnings) {
            logger.warning("%1%") % warning;
        }
        if (command.what == zel::command_line::action::check) {
            logger.info("Config file %1% is valid") % file_name;
            status = zel::exit_status::success;
            return;
        }
        const auto core = core::core::create(logger);
        const auto loop = core->create_events_loop("main");
        const auto signals = loop->stop_on_signals();
        zel::relay relay(*loop, config, file_name, logger);
        const auto notifier = core::service::notifier::create(
            *loop, logger, [&relay] { return relay.status(); }, status_period);
        notifier->ready();
        while (!logger.execute([&] { loop->run(); })) {
        }
        // Only a signal stops the loop.
        notifier->stopping();

        relay.stop();
        logger.info("totals: %1%") % relay.status();
        logger.info("exit").location(ZEL_LOCATION);
        status = zel::exit_status::success;
    });
    return status;
}
