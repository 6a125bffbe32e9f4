#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace zel {
namespace libs {
namespace core {

class component_logger;
class events_loop;

namespace service {

// Tells the service manager that started the process how the service fares, over the
// notification socket the manager names in the environment: readiness, a status line, keep-alive
// pings for its watchdog, and stopping. A process started without one sends nothing and arms
// nothing on its loop.
class notifier {
public:
    using ptr = std::unique_ptr<notifier>;
    // The status line the manager shows for the service; asked for on the loop's thread.
    using callback = std::function<std::string()>;

    // Sends the status at once and then every _status_period, and pings the watchdog at half the
    // interval the manager asks for, if it asks, both from _loop, which must outlive the
    // notifier. A notification that fails is logged once, through _logger; the service runs on.
    static ptr create(events_loop& _loop, const component_logger& _logger, callback _status,
                      std::chrono::nanoseconds _status_period);

    virtual ~notifier() = default;

    // Start-up is over: the service does what it is there for.
    virtual void ready() = 0;
    // The service is shutting down.
    virtual void stopping() = 0;
};

}  // namespace service
}  // namespace core
}  // namespace libs
}  // namespace zel
