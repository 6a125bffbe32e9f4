#pragma once

#include <core/component_logger.h>
#include <core/events_loop.h>

#include <boost/asio/io_context.hpp>

namespace zel {
namespace libs {
namespace core {

class core;

class events_loop_impl : public events_loop {
public:
    events_loop_impl(core& _core, const component_logger& _logger);
    // Drains the handlers still queued, for 10 seconds at most.
    ~events_loop_impl() override;

    void run() override;
    void run_catch_exceptions(source_location _location) override;
    void stop() override;
    bool is_stopped() const override;
    signals_handle::ptr stop_on_signals() override;

    void post(std::function<void()> _function, source_location _location) override;
    work::ptr create_work() override;

    boost::asio::io_context& get_io_context() override { return m_io_context; }
    const boost::asio::io_context& get_io_context() const override { return m_io_context; }

private:
    core& m_core;
    boost::asio::io_context m_io_context;
    const component_logger& m_logger;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
