#include <core/impl/service/notifier_impl.h>

#include <core/source_location.h>

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace service {
namespace {

// Longer watchdog intervals are pinged as if they were this long: pinging more often than asked
// does no harm, and the interval in nanoseconds cannot overflow.
constexpr std::uint64_t max_watchdog_usec = 3600ull * 1000 * 1000;

}  // namespace

notifier::ptr notifier::create(events_loop& _loop, const component_logger& _logger,
                               callback _status, std::chrono::nanoseconds _status_period) {
    return std::make_unique<notifier_impl>(_loop, _logger, std::move(_status), _status_period);
}

notifier_impl::notifier_impl(events_loop& _loop, const component_logger& _logger, callback _status,
                             std::chrono::nanoseconds _status_period)
    : m_logger(_logger), m_status(std::move(_status)) {
    // Without a notification socket sd_notify sends nothing and answers 0: no manager listens.
    if (notify("STATUS=" + m_status()) == 0) {
        return;
    }
    m_status_timer = _loop.create_periodic_timer(
        _status_period, "service status",
        [this](timer::time_point) { notify("STATUS=" + m_status()); }, ZEL_LOCATION);
    std::uint64_t watchdog_usec = 0;
    if (sd_watchdog_enabled(0, &watchdog_usec) > 0) {
        const std::chrono::microseconds interval(std::min(watchdog_usec, max_watchdog_usec));
        m_watchdog_timer = _loop.create_periodic_timer(
            std::chrono::nanoseconds(interval) / 2, "service watchdog",
            [this](timer::time_point) { notify("WATCHDOG=1"); }, ZEL_LOCATION);
    }
}

int notifier_impl::notify(const std::string& _state) {
    const int result = sd_notify(0, _state.c_str());
    // A manager that cannot be reached usually stays so: one record says why, rather than one
    // per status period.
    if (result < 0 && !m_failure_logged) {
        m_failure_logged = true;
        m_logger.warning("Cannot notify the service manager: %1%") %
            std::system_category().message(-result);
    }
    return result;
}

}  // namespace service
}  // namespace core
}  // namespace libs
}  // namespace zel
