#pragma once

#include <core/component_logger.h>
#include <core/timers_manager.h>

#include <time.h>

namespace zel {
namespace libs {
namespace core {

class events_loop;

class timers_manager_impl : public timers_manager {
public:
    timers_manager_impl(events_loop& _events_loop, const component_logger& _logger);

    // Virtual so that a manager with another clock drives the periodic timers
    // it makes with that clock.
    timer::time_point current_time_point() const override;
    timestamp current_timestamp() const override;

    // Arms for the steady clock's now plus _duration through the time-point
    // form, so that an override of that form serves this one too.
    timer::ptr create_timer(std::chrono::nanoseconds _duration, const std::string& _name,
                            timer::callback _callback, source_location _location) override;
    timer::ptr create_timer(timer::time_point _time_point, const std::string& _name,
                            timer::callback _callback, source_location _location) override;

    periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds _period,
                                              const std::string& _name, timer::callback _callback,
                                              source_location _location) override;
    periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds _period,
                                              periodic_timer::execute_now, const std::string& _name,
                                              timer::callback _callback,
                                              source_location _location) override;

    // A reading of the wall clock as a timestamp, the milliseconds truncated.
    static timestamp make_timestamp(const timespec& _wall_clock);

private:
    events_loop& m_events_loop;
    const component_logger& m_logger;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
