#include "command_line.h"
#include "config.h"
#include "endpoint_security.h"
#include "exposure.h"
#include "forwarder.h"
#include "generate_keys.h"
#include "history.h"
#include "history_server.h"
#include "memory_release.h"
#include "metrics_server.h"
#include "reload_actions.h"

#include <core/constants.h>
#include <core/core.h>
#include <core/events_loop.h>
#include <core/ignore_broken_pipes.h>
#include <core/logger.h>
#include <core/service/notifier.h>

#include <chrono>
#include <iostream>
#include <memory>
#include <optional>

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
        // Made before the sockets it secures and what SIGHUP reloads, and destroyed after them.
        zel::endpoint_security security(*loop, logger, config.system.curve);
        const zel::secure_socket secure = [&security](azmq::socket& _socket, auto _on_connection) {
            return security.secure(_socket, std::move(_on_connection));
        };
        zel::reload_actions reload(loop->get_io_context(), logger);
        if (config.system.curve) {
            reload.add("the client keys", [&security] { security.reload(); });
        }

        std::unique_ptr<zel::history> history;
        std::unique_ptr<zel::history_server> history_server;
        if (!config.system.history_address.empty()) {
            history = std::make_unique<zel::history>(config.system.history_bytes);
            history_server = std::make_unique<zel::history_server>(
                loop->get_io_context(), *history, config.system.history_address, logger, secure);
            history_server->start();
            logger.info("history %1%, %2% bytes, relay start %3%") % history_server->endpoint() %
                config.system.history_bytes % history_server->identity();
        }
        zel::forwarder forwarder(loop->get_io_context(), config.system.input_address,
                                 config.system.output_address, logger, history.get(), secure);
        forwarder.start();
        logger.info("vandrel %1%, configuration %2%, input %3%, output %4%") %
            core::constants::git_version % file_name % forwarder.input_endpoint() %
            forwarder.output_endpoint();
        // With keys, only the clients of the allow-list reach the records.
        if (!config.system.curve) {
            zel::warn_if_exposed(logger, "input", forwarder.input_endpoint(),
                                 "send records to every subscriber");
            zel::warn_if_exposed(logger, "output", forwarder.output_endpoint(),
                                 "read every record");
            if (history_server) {
                zel::warn_if_exposed(logger, "history", history_server->endpoint(),
                                     "read every record");
            }
        }

        std::optional<zel::metrics_server> metrics;
        if (!config.system.metrics_address.empty()) {
            metrics.emplace(
                loop->get_io_context(), config.system.metrics_address,
                [&forwarder, &security] {
                    return forwarder.counters().metrics() + security.metrics();
                },
                logger);
            logger.info("metrics at %1%/metrics") % metrics->endpoint();
            zel::warn_if_exposed(logger, "metrics endpoint", metrics->endpoint(),
                                 "read the relay's counters");
        }

        const zel::memory_release memory(*loop, forwarder.counters());

        const auto status_line = [&forwarder, &security] {
            const auto refused = security.status();
            return forwarder.counters().status() + (refused.empty() ? "" : "; " + refused);
        };
        const auto notifier =
            core::service::notifier::create(*loop, logger, status_line, status_period);
        notifier->ready();
        while (!logger.execute([&] { loop->run(); })) {
        }
        // Only a signal stops the loop.
        notifier->stopping();

        forwarder.stop();
        if (history_server) {
            history_server->stop();
        }
        logger.info("totals: %1%") % status_line();
        logger.info("exit").location(ZEL_LOCATION);
        status = zel::exit_status::success;
    });
    return status;
}
