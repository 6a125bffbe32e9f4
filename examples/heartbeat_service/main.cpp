// A service of the family in its smallest form: it logs "heartbeat N" once per interval, and its
// debug socket carries every record to a relay, whose subscribers read them under the topic
// "&heartbeat_service:heartbeat".
#include <core/constants.h>
#include <core/core.h>
#include <core/curve/client_keys.h>
#include <core/events_loop.h>
#include <core/exception.h>
#include <core/ignore_broken_pipes.h>
#include <core/logger.h>
#include <core/service/notifier.h>

#include <zmq.hpp>

#include <getopt.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstring>
#include <iostream>
#include <ostream>
#include <string>

namespace core = zel::libs::core;

namespace {

void print_usage(std::ostream& _out, const char* _program) {
    _out << "Usage: " << _program
         << " [-a RELAY_INPUT] [-i INTERVAL_MS] [--server-key FILE.pub --key PREFIX]\n";
}

int usage_error(const char* _program) {
    print_usage(std::cerr, _program);
    return 2;
}

int help(const char* _program) {
    print_usage(std::cout, _program);
    std::cout
        << "Logs \"heartbeat N\" once per interval; its debug socket carries each record to a\n"
           "relay, whose subscribers read them under \"&heartbeat_service:heartbeat\".\n"
           "  -a RELAY_INPUT   the relay's input address (default tcp://127.0.0.1:5555)\n"
           "  -i INTERVAL_MS   milliseconds between heartbeats (default 1000)\n"
           "  --server-key FILE.pub  the relay's public key: send with CURVE\n"
           "  --key PREFIX     the service's own pair: PREFIX.key (the relay lists PREFIX.pub)\n"
           "  -h, --help       print this help\n"
           "  --version        print the version\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The relay's input as etc/vandrel.json binds it. Tests shorten the interval so as not to
    // wait a second per record.
    std::string relay_input = "tcp://127.0.0.1:5555";
    int interval_ms = 1000;
    std::string server_key_file;
    std::string key_prefix;
    static const option long_options[] = {{"help", no_argument, nullptr, 'h'},
                                          {"version", no_argument, nullptr, 'V'},
                                          {"server-key", required_argument, nullptr, 'S'},
                                          {"key", required_argument, nullptr, 'K'},
                                          {}};
    for (int option; (option = getopt_long(argc, argv, "a:i:h", long_options, nullptr)) != -1;) {
        if (option == 'h') {
            return help(argv[0]);
        }
        if (option == 'V') {
            std::cout << "heartbeat_service " << core::constants::git_version << '\n';
            return 0;
        }
        if (option == 'a') {
            relay_input = optarg;
        } else if (option == 'S' || option == 'K') {
            (option == 'S' ? server_key_file : key_prefix) = optarg;
        } else if (option == 'i') {
            const char* end = optarg + std::strlen(optarg);
            const auto [last, error] = std::from_chars(optarg, end, interval_ms);
            if (error != std::errc() || last != end || interval_ms <= 0) {
                return usage_error(argv[0]);
            }
        } else {
            return usage_error(argv[0]);
        }
    }
    if (optind != argc || server_key_file.empty() != key_prefix.empty()) {
        return usage_error(argv[0]);
    }

    // Before the first record: standard error may be a pipe whose reader is gone.
    core::ignore_broken_pipes();
    // Made first and destroyed last: everything below logs through it.
    core::logger logger("heartbeat_service", "main");
    try {
        // ZeroMQ refuses only an endpoint it cannot read; a relay that is not up yet is no error:
        // records wait in the socket's bounded queue until it is reached.
        if (key_prefix.empty()) {
            logger.connect(relay_input);
        } else {
            logger.connect(relay_input,
                           core::curve::client_keys::read(server_key_file, key_prefix));
        }
    } catch (const zmq::error_t& _error) {
        logger.error("Cannot connect the debug socket to %1%: %2%") % relay_input % _error.what();
        return 1;
    } catch (const core::exception& _error) {
        logger.error("Cannot connect the debug socket to %1%: %2%") % relay_input %
            _error.get_string_error();
        return 1;
    }

    const auto the_core = core::core::create(logger);
    const auto loop = the_core->create_events_loop("main");
    // A signal stops the loop, so that run() returns and everything is destroyed in order. The
    // handle must go before the loop it stops, hence declared after it.
    const auto signals = loop->stop_on_signals();

    // The topic of a component's records is "&application:component": a subscriber can pick
    // this one out of everything the relay carries.
    const auto heartbeat = logger.component("heartbeat");
    int count = 0;
    const auto timer = loop->create_periodic_timer(
        std::chrono::milliseconds(interval_ms), "heartbeat",
        [&heartbeat, &count](core::timer::time_point) {
            // Every level reaches the debug socket, but the system log drops debug records: a
            // heartbeat is for the relay's readers, not for the journal.
            heartbeat->debug("heartbeat %1%") % ++count;
        },
        ZEL_LOCATION);
    // Started by a service manager, the service tells it when it is up, how many heartbeats it
    // has sent every few seconds, and when it stops; it also keeps the manager's watchdog fed.
    const auto notifier = core::service::notifier::create(
        *loop, logger, [&count] { return std::to_string(count) + " heartbeats"; },
        std::chrono::seconds(2));
    notifier->ready();

    // A handler's exception is logged and the loop runs on: one failed tick must not end the
    // service. Only a signal returns from here.
    loop->run_catch_exceptions(ZEL_LOCATION);
    notifier->stopping();
    logger.info("Stopped by a signal");
    // The logger's destruction waits up to 5 s for queued records to reach the relay.
    return 0;
}
