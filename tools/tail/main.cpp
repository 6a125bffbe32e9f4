#include "connection_notice.h"
#include "endpoint_hint.h"
#include "history_reader.h"
#include "options.h"
#include "reader_gone.h"

#include <core/append_escaped.h>
#include <core/constants.h>
#include <core/core.h>
#include <core/events_loop.h>
#include <core/exception.h>
#include <core/ignore_broken_pipes.h>
#include <core/logger.h>
#include <core/message_stream.h>
#include <core/message_stream_options.h>
#include <core/periodic_timer.h>

#include <boost/system/system_error.hpp>
#include <boost/utility/string_view.hpp>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace core = zel::libs::core;

namespace {

constexpr int exit_failure = 1;
constexpr int exit_usage = 2;
constexpr std::chrono::milliseconds watch_period(200);

// One write per line, and no buffer of ours: a reader at the end of a pipe sees each frame
// as it arrives. Returns 0 when written, else the errno of the failure.
int write_line(const std::string& _line) {
    std::size_t written = 0;
    while (written < _line.size()) {
        const auto n = ::write(STDOUT_FILENO, _line.data() + written, _line.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const auto command = zel::tail::parse_command_line({argv + 1, argv + argc});
    switch (command.what) {
        case zel::tail::command_line::action::help:
            std::cout << zel::tail::help();
            return 0;
        case zel::tail::command_line::action::version:
            std::cout << "vandrel-tail " << core::constants::git_version << '\n';
            return 0;
        case zel::tail::command_line::action::usage_error:
            std::cerr << "vandrel-tail: " << command.error << '\n' << zel::tail::usage() << '\n';
            return exit_usage;
        case zel::tail::command_line::action::run:
            break;
    }
    const auto& settings = command.settings;

    // Before the first record, and so that a reader of standard output that has gone ends the
    // program through a failed write rather than SIGPIPE.
    core::ignore_broken_pipes();
    // Its output is the frames: a normal run writes nothing else, on standard error or in the
    // system log.
    core::logger logger("vandrel-tail", "main", core::logger::least_level::warning);
    int status = 0;
    const bool completed = logger.execute([&] {
        logger.set_writing_to_socket(false);
        const auto core = core::core::create(logger);
        const auto loop = core->create_events_loop("main");
        const auto signals = loop->stop_on_signals();

        core::message_stream_options options;
        options.kind = core::message_stream_options::frames::raw;
        try {
            if (!settings.key_prefix.empty()) {
                options.keys =
                    core::curve::client_keys::read(settings.server_key_file, settings.key_prefix);
            }
        } catch (const core::exception& _error) {
            std::cerr << "vandrel-tail: " << _error.get_string_error() << '\n';
            status = exit_failure;
            return;
        }
        core::message_stream::ptr stream;
        const auto refuse = [&](const std::string& _reason) {
            std::cerr << "vandrel-tail: cannot use endpoint \"" << settings.endpoint
                      << "\": " << _reason << '\n';
            if (const auto hint = zel::tail::endpoint_hint(settings.endpoint); !hint.empty()) {
                std::cerr << hint << '\n';
            }
            status = exit_failure;
        };
        std::unique_ptr<zel::tail::history_reader> history;
        try {
            if (settings.history) {
                history = std::make_unique<zel::tail::history_reader>(
                    loop->get_io_context(), settings, options.keys ? &*options.keys : nullptr);
            } else {
                stream = loop->create_zmq_message_stream(settings.endpoint, options);
            }
        } catch (const boost::system::system_error& _error) {
            return refuse(_error.code().message());
        } catch (const std::exception& _error) {
            return refuse(_error.what());
        }

        zel::tail::connection_notice notice(settings.endpoint, settings.verbose);
        const auto notify = [&notice](bool _connected) { notice.connection_changed(_connected); };
        if (history) {
            history->on_connection_change(notify);
        } else {
            stream->on_connection_change(notify);
        }

        std::uint64_t printed = 0;
        bool finished = false;
        std::string line;
        const auto print = [&](boost::string_view _frame) {
            // Stopping the loop takes effect between handlers: nothing is printed past the end.
            if (finished) {
                return;
            }
            line.clear();
            zel::libs::core::append_escaped_keeping_utf8(line, _frame);
            line += '\n';
            if (const int error = write_line(line)) {
                // A reader that has gone, as with "| head -1", is an ordinary end.
                if (error != EPIPE) {
                    std::cerr << "vandrel-tail: cannot write: " << std::strerror(error) << '\n';
                    status = exit_failure;
                }
                finished = true;
                loop->stop();
                return;
            }
            ++printed;
            if (settings.count && printed == *settings.count) {
                finished = true;
                loop->stop();
            }
        };

        // The stream hands each frame to the subscribers of every subscribed topic that begins
        // it: a prefix that a shorter one begins ("ab" beside "a") would print its frames twice,
        // so it is left out; the prefixes are distinct, so no topic has this callback twice.
        const auto begun_by_another = [&](const std::string& _prefix) {
            return std::any_of(settings.prefixes.begin(), settings.prefixes.end(),
                               [&](const std::string& _other) {
                                   return _other.size() < _prefix.size() &&
                                          _prefix.compare(0, _other.size(), _other) == 0;
                               });
        };
        std::vector<core::message_stream::subscription::ptr> subscriptions;
        if (history) {
            history->start(print, [&](int _status) {
                status = _status;
                finished = true;
                loop->stop();
            });
        } else if (settings.prefixes.empty()) {
            subscriptions.push_back(stream->subscribe("", print));
        }
        for (const auto& prefix : settings.prefixes) {
            if (stream && !begun_by_another(prefix)) {
                subscriptions.push_back(stream->subscribe(prefix, print));
            }
        }

        // Between frames too: a tail waiting for a relay says so, and one whose reader has gone
        // ends within a tick.
        const auto watch = loop->create_periodic_timer(
            watch_period, "watch",
            [&](core::timer::time_point) {
                notice.tick();
                if (!finished && zel::tail::reader_gone(STDOUT_FILENO)) {
                    finished = true;
                    loop->stop();
                }
            },
            ZEL_LOCATION);

        while (!logger.execute([&] { loop->run(); })) {
        }
    });
    return completed ? status : exit_failure;
}
