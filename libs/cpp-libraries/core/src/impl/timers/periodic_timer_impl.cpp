#include <core/impl/timers/periodic_timer_impl.h>

#include <core/exception.h>

#include <utility>

namespace zel {
namespace libs {
namespace core {

namespace {

// A period of zero would divide by zero on the grid; a negative one would put
// every next tick in the past and fire on every turn of the loop.
std::chrono::nanoseconds checked_period(std::chrono::nanoseconds _period,
                                        const std::string& _name) {
    if (_period <= std::chrono::nanoseconds::zero()) {
        throw exception("periodic timer \"" + _name + "\": the period must be positive, not " +
                            std::to_string(_period.count()) + " ns",
                        ZEL_LOCATION);
    }
    return _period;
}

}  // namespace

periodic_timer_impl::periodic_timer_impl(timers_manager& _timers_manager,
                                         std::chrono::nanoseconds _period, const std::string& _name,
                                         timer::callback _callback, source_location,
                                         bool _execute_now)
    : m_name(_name)
    , m_timers_manager(_timers_manager)
    , m_period(checked_period(_period, _name))
    , m_callback(std::make_shared<timer::callback>(std::move(_callback))) {
    restart_impl();
    if (_execute_now) {
        expire_now_impl();
    }
}

void periodic_timer_impl::reset(std::chrono::nanoseconds _period) {
    m_period = checked_period(_period, m_name);
    restart();
}

void periodic_timer_impl::stop() {
    m_timer.reset();
}

void periodic_timer_impl::restart_impl() {
    auto tick = [callback = std::weak_ptr<timer::callback>(m_callback),
                 this](timer::time_point _time_point) {
        const auto locked = callback.lock();
        if (!locked) {
            return;
        }
        m_timer->reset(get_next_time_point(_time_point));
        // Nothing of this object is touched after the call: the callback may
        // have destroyed it.
        (*locked)(_time_point);
    };
    auto next = m_timers_manager.create_timer(m_timers_manager.current_time_point() + m_period,
                                              m_name, std::move(tick), ZEL_LOCATION);
    m_timer = std::move(next);
}

void periodic_timer_impl::expire_now_impl() {
    // Stopped means no tick until restart() or reset(); a caller who wants one
    // at once restarts first.
    if (m_timer) {
        m_timer->reset(m_timers_manager.current_time_point());
    }
}

timer::time_point periodic_timer_impl::get_next_time_point(timer::time_point _time_point) const {
    const auto now = m_timers_manager.current_time_point();
    // A tick that fires ahead of the manager's clock is followed by the next
    // grid point; re-arming for its own instant would deliver it again.
    if (_time_point >= now) {
        return _time_point + m_period;
    }
    // The first grid point strictly after now: missed ticks are skipped.
    return _time_point + m_period * ((now - _time_point) / m_period + 1);
}

}  // namespace core
}  // namespace libs
}  // namespace zel
