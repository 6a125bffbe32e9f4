#pragma once

#include <core/component_logger.h>
#include <core/source_location.h>
#include <core/timer.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <cstdint>
#include <memory>
#include <string>

namespace zel {
namespace libs {
namespace core {

class timer_impl : public timer {
public:
    // The state that pending completions reach through a weak reference, so
    // that a completion running after the timer's destruction touches nothing.
    struct shared_data {
        // Stored once: re-arming copies no callback.
        timer::callback m_callback;
        bool m_waiting;
        // Counts armings and stops. A completion carries the number of the
        // arming it belongs to, so one that belongs to an earlier arming is
        // recognised even when the timer was re-armed for the same instant.
        std::uint64_t m_arming;
    };

    // Armed for _time_point when constructed. _name and _location serve the
    // reader of the creating code only.
    timer_impl(boost::asio::io_context& _io_context, timer::time_point _time_point,
               const std::string& _name, timer::callback _callback, const component_logger& _logger,
               source_location _location);

    bool is_waiting() const override { return m_data->m_waiting; }
    void reset(timer::time_point _time_point) override { reset_impl(_time_point); }
    void stop() override { stop_impl(); }

    void reset_impl(timer::time_point _time_point);
    void stop_impl();

private:
    // Declared first so that it goes last: the shared data is released before
    // the wait is cancelled, and the cancelled completion finds nothing.
    boost::asio::steady_timer m_timer;
    const component_logger& m_logger;
    std::shared_ptr<shared_data> m_data;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
