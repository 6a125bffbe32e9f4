#include <core/impl/timers/timers_manager_impl.h>

#include <core/events_loop.h>
#include <core/impl/timers/periodic_timer_impl.h>
#include <core/impl/timers/timer_impl.h>

#include <utility>

namespace zel {
namespace libs {
namespace core {

timers_manager_impl::timers_manager_impl(events_loop& _events_loop, const component_logger& _logger)
    : m_events_loop(_events_loop), m_logger(_logger) {}

timer::time_point timers_manager_impl::current_time_point() const {
    return std::chrono::steady_clock::now();
}

timestamp timers_manager_impl::current_timestamp() const {
    timespec wall_clock{};
    clock_gettime(CLOCK_REALTIME, &wall_clock);
    return make_timestamp(wall_clock);
}

timestamp timers_manager_impl::make_timestamp(const timespec& _wall_clock) {
    return timestamp(std::chrono::seconds(_wall_clock.tv_sec),
                     std::chrono::milliseconds(_wall_clock.tv_nsec / 1000000));
}

timer::ptr timers_manager_impl::create_timer(std::chrono::nanoseconds _duration,
                                             const std::string& _name, timer::callback _callback,
                                             source_location _location) {
    // The real clock, as the one-shot timer itself waits on it.
    return create_timer(std::chrono::steady_clock::now() + _duration, _name, std::move(_callback),
                        _location);
}

timer::ptr timers_manager_impl::create_timer(timer::time_point _time_point,
                                             const std::string& _name, timer::callback _callback,
                                             source_location _location) {
    return std::make_unique<timer_impl>(m_events_loop.get_io_context(), _time_point, _name,
                                        std::move(_callback), m_logger, _location);
}

periodic_timer::ptr timers_manager_impl::create_periodic_timer(std::chrono::nanoseconds _period,
                                                               const std::string& _name,
                                                               timer::callback _callback,
                                                               source_location _location) {
    return std::make_unique<periodic_timer_impl>(*this, _period, _name, std::move(_callback),
                                                 _location, false);
}

periodic_timer::ptr timers_manager_impl::create_periodic_timer(std::chrono::nanoseconds _period,
                                                               periodic_timer::execute_now,
                                                               const std::string& _name,
                                                               timer::callback _callback,
                                                               source_location _location) {
    return std::make_unique<periodic_timer_impl>(*this, _period, _name, std::move(_callback),
                                                 _location, true);
}

}  // namespace core
}  // namespace libs
}  // namespace zel
