#pragma once

#include <core/component_logger.h>
#include <core/events_loop.h>
#include <core/periodic_timer.h>
#include <core/service/notifier.h>

#include <chrono>
#include <string>

namespace zel {
namespace libs {
namespace core {
namespace service {

class notifier_impl : public notifier {
public:
    notifier_impl(events_loop& _loop, const component_logger& _logger, callback _status,
                  std::chrono::nanoseconds _status_period);

    void ready() override { notify("READY=1"); }
    void stopping() override { notify("STOPPING=1"); }

private:
    // sd_notify's answer: above 0 when sent, 0 without a notification socket, below 0 on failure.
    int notify(const std::string& _state);

    const component_logger& m_logger;
    callback m_status;
    bool m_failure_logged = false;
    // Declared last: destroyed first, so that no tick finds the rest gone.
    periodic_timer::ptr m_status_timer;
    periodic_timer::ptr m_watchdog_timer;
};

}  // namespace service
}  // namespace core
}  // namespace libs
}  // namespace zel
