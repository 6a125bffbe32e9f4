#pragma once

#include <core/periodic_timer.h>
#include <core/source_location.h>
#include <core/timer.h>
#include <core/timestamp.h>

#include <chrono>
#include <string>

namespace zel {
namespace libs {
namespace core {

// The clock and the timer factory of one events loop.
class timers_manager {
public:
    virtual ~timers_manager() = default;

    // The steady clock that periodic timers lay their grid on.
    virtual timer::time_point current_time_point() const = 0;
    // The wall clock.
    virtual timestamp current_timestamp() const = 0;

    // One-shot timers, armed when returned. An instant in the past fires on the
    // next turn of the loop.
    virtual timer::ptr create_timer(std::chrono::nanoseconds _duration, const std::string& _name,
                                    timer::callback _callback, source_location _location) = 0;
    virtual timer::ptr create_timer(timer::time_point _time_point, const std::string& _name,
                                    timer::callback _callback, source_location _location) = 0;

    // The first tick one period from now. Both throw exception for a period of
    // zero or less.
    virtual periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds _period,
                                                      const std::string& _name,
                                                      timer::callback _callback,
                                                      source_location _location) = 0;
    // The first tick on the next turn of the loop, carrying the present instant.
    virtual periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds _period,
                                                      periodic_timer::execute_now,
                                                      const std::string& _name,
                                                      timer::callback _callback,
                                                      source_location _location) = 0;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
