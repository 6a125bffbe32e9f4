#include "command_line.h"
#include "config.h"
#include "relay_counters.h"

#include <core/append_escaped.h>
#include <core/constants.h>
#include <core/core.h>
#include <core/events_loop.h>
#include <core/exception.h>
#include <core/get_config_file_name.h>
#include <core/ignore_broken_pipes.h>
#include <core/logger.h>
#include <core/service/notifier.h>
#include <azmq/socket.hpp>

#include <boost/asio/error.hpp>
#include <boost/system/error_code.hpp>
#include <boost/system/system_error.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <utility>

namespace core = zel::libs::core;

namespace {

// Anyone who reaches the ports may send, and ZeroMQ holds what a peer sends: about 32 bytes per
// byte of a subscription, and a frame whole until its last byte. Far above any real topic or
// record, these make ZeroMQ drop the peer instead.
constexpr std::int64_t max_subscription_size = 4 * 1024;
constexpr std::int64_t max_frame_size = 64 * 1024 * 1024;

// Both sockets are used on the main thread only (the signal thread only stops the loop), so
// their locks are never contended; taken for every receive and send, they still cost about a
// sixth of the relay's CPU.
constexpr bool optimize_single_threaded = true;

// The frames one completion publishes: its own and those already queued behind it. A queued
// frame costs a non-blocking receive, a fraction of what a completion costs; the bounds keep the
// loop's other handlers from waiting long, and the output processing its commands often.
constexpr int max_frames_per_completion = 256;
constexpr std::size_t max_bytes_per_completion = 64 * 1024;

// How often the service manager, when there is one, learns how much the relay has relayed.
constexpr std::chrono::seconds status_period(2);

void publish(azmq::pub_socket& _output, azmq::message&& _frame, zel::relay_counters& _counters) {
    boost::system::error_code error;
    const std::size_t size = _output.send(std::move(_frame), 0, error);
    if (error) {
        throw boost::system::system_error(error);
    }
    ++_counters.frames;
    _counters.bytes += size;
}

// Publishes _frame, then the frames already queued on _input, in their order. After several, the
// output processes the commands its subscribers' queues have sent meanwhile, which sending alone
// does only about once a millisecond: it learns the room they have made, and drops less for them.
void publish_with_queued(azmq::socket& _input, azmq::message&& _frame, azmq::pub_socket& _output,
                         zel::relay_counters& _counters) {
    // The counters already add up what this completion publishes.
    const std::uint64_t bytes_before = _counters.bytes;
    publish(_output, std::move(_frame), _counters);
    azmq::message queued;
    int published = 1;
    for (; published < max_frames_per_completion &&
           _counters.bytes - bytes_before < max_bytes_per_completion;
         ++published) {
        boost::system::error_code error;
        _input.receive(queued, ZMQ_DONTWAIT, error);
        if (error) {
            // Nothing is queued any more, or the receive armed next reports the failure.
            break;
        }
        publish(_output, std::move(queued), _counters);
    }
    // A lone frame costs no such call: the loop soon comes back to the output's descriptor wait,
    // which processes the commands as they arrive.
    if (published > 1) {
        boost::system::error_code ignored;
        _output.events(ignored);
    }
}

// One record names the endpoint, escaped as it stands in the configuration, its side and
// ZeroMQ's reason.
void bind_endpoint(azmq::socket& _socket, const std::string& _address, const std::string& _side) {
    boost::system::error_code error;
    _socket.bind(_address, error);
    if (error) {
        std::string message = "Cannot bind the " + _side + " to ";
        core::append_escaped(message, _address);
        throw core::exception(message + ": " + error.message(), ZEL_LOCATION);
    }
}

}  // namespace

// Arms one receive on _input whose completion republishes the frame it got, with those queued
// behind it, and re-arms the next. The handler holds the input weakly, so that destroying the
// socket ends the chain.
void setup_pipeline(std::shared_ptr<azmq::detail::specialized_socket<7>> _input,
                    azmq::pub_socket& _output, const core::logger& _logger,
                    zel::relay_counters& _counters) {
    _input->async_receive([weak_input = std::weak_ptr<azmq::detail::specialized_socket<7>>(_input),
                           &_output, &_logger, &_counters](boost::system::error_code& _error,
                                                           azmq::message& _message, std::size_t) {
        if (_error == boost::asio::error::operation_aborted) {
            return;
        }
        auto input = weak_input.lock();
        if (!input) {
            return;
        }
        // The pointer is handed on, not copied: every reference count change is an
        // atomic operation on the path of every frame.
        if (_error) {
            setup_pipeline(std::move(input), _output, _logger, _counters);
            _logger.log_error(_error, ZEL_LOCATION);
            return;
        }
        // The queued frames go out before the next receive is armed, so that it takes the
        // frame after them however this completion was delivered. It is armed whatever
        // happens: a failed send loses only its frame.
        try {
            publish_with_queued(*input, std::move(_message), _output, _counters);
        } catch (...) {
            setup_pipeline(std::move(input), _output, _logger, _counters);
            throw;
        }
        setup_pipeline(std::move(input), _output, _logger, _counters);
    });
}

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

        // Before the sockets: the pipeline's handlers refer to it as long as they live.
        zel::relay_counters counters;
        azmq::pub_socket output(loop->get_io_context(), optimize_single_threaded);
        output.set_option(azmq::socket::max_message_size(max_subscription_size));
        bind_endpoint(output, config.system.output_address, "output");
        // Otherwise the output learns how far a subscriber has read only about once a
        // millisecond while it sends, and drops frames for a subscriber that has made room.
        output.process_commands_on_arrival();
        auto input = std::make_shared<azmq::detail::specialized_socket<7>>(
            loop->get_io_context(), optimize_single_threaded);
        input->set_option(azmq::socket::max_message_size(max_frame_size));
        bind_endpoint(*input, config.system.input_address, "input");
        setup_pipeline(input, output, logger, counters);
        logger.info("vandrel %1%, configuration %2%, input %3%, output %4%") %
            core::constants::git_version % file_name % input->last_endpoint() %
            output.last_endpoint();

        const auto notifier = core::service::notifier::create(
            *loop, logger, [&counters] { return counters.status(); }, status_period);
        notifier->ready();
        while (!logger.execute([&] { loop->run(); })) {
        }
        // Only a signal stops the loop.
        notifier->stopping();

        input->cancel();
        logger.info("exit").location(ZEL_LOCATION);
    });
    return 0;
}
