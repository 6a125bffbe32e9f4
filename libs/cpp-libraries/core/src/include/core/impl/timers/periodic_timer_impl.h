#pragma once

#include <core/periodic_timer.h>
#include <core/source_location.h>
#include <core/timer.h>
#include <core/timers_manager.h>

#include <chrono>
#include <memory>
#include <string>

namespace zel {
namespace libs {
namespace core {

// A periodic timer built on one one-shot timer, re-armed for the next grid
// point before each callback, so that whatever the callback does to the
// periodic timer (stop, reset, restart, expire_now, destruction) has the last
// word. Its clock is the manager's.
class periodic_timer_impl : public periodic_timer {
public:
    // Throws exception for a period of zero or less. _location serves the
    // reader of the creating code only.
    periodic_timer_impl(timers_manager& _timers_manager, std::chrono::nanoseconds _period,
                        const std::string& _name, timer::callback _callback,
                        source_location _location, bool _execute_now);

    void reset(std::chrono::nanoseconds _period) override;
    void stop() override;
    void restart() override { restart_impl(); }
    void expire_now() override { expire_now_impl(); }

    // A new one-shot timer one period from now; the previous one is dropped
    // with its pending tick.
    void restart_impl();
    void expire_now_impl();
    // The first grid point of the grid through _time_point that lies after
    // both _time_point and the manager's present.
    timer::time_point get_next_time_point(timer::time_point _time_point) const;

private:
    // Declared in this order so that destruction releases the callback first:
    // a tick of the one-shot timer then finds the periodic timer gone.
    std::string m_name;
    timers_manager& m_timers_manager;
    timer::ptr m_timer;
    std::chrono::nanoseconds m_period;
    // Owned by this object alone; ticks hold it weakly.
    std::shared_ptr<timer::callback> m_callback;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
