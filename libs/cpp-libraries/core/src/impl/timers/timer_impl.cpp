#include <core/impl/timers/timer_impl.h>

#include <boost/asio/error.hpp>

#include <utility>

namespace zel {
namespace libs {
namespace core {

timer_impl::timer_impl(boost::asio::io_context& _io_context, timer::time_point _time_point,
                       const std::string&, timer::callback _callback,
                       const component_logger& _logger, source_location)
    : m_timer(_io_context)
    , m_logger(_logger)
    , m_data(std::make_shared<shared_data>(shared_data{std::move(_callback), false, 0})) {
    reset_impl(_time_point);
}

void timer_impl::reset_impl(timer::time_point _time_point) {
    m_data->m_waiting = false;
    const std::uint64_t arming = ++m_data->m_arming;
    // Cancels the pending wait, whose completion then runs as aborted.
    m_timer.expires_at(_time_point);
    m_timer.async_wait(
        [&logger = m_logger, _time_point, arming,
         weak_data = std::weak_ptr<shared_data>(m_data)](const boost::system::error_code& _error) {
            // Held through the callback, so that the callback may destroy its own
            // timer and still finish.
            const auto data = weak_data.lock();
            // A completion of an earlier arming leaves the flag to the wait now
            // pending, and never runs the callback: it may have expired and been
            // queued before the timer was stopped or re-armed.
            const bool current = data && data->m_arming == arming;
            if (current) {
                data->m_waiting = false;
            }
            if (_error == boost::asio::error::operation_aborted) {
                return;
            }
            if (_error) {
                logger.log_error(_error, ZEL_LOCATION);
                return;
            }
            if (current) {
                data->m_callback(_time_point);
            }
        });
    m_data->m_waiting = true;
}

void timer_impl::stop_impl() {
    m_data->m_waiting = false;
    ++m_data->m_arming;
    m_timer.cancel();
}

}  // namespace core
}  // namespace libs
}  // namespace zel
