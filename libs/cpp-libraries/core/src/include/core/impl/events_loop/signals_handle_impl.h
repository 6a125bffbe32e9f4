#pragma once

#include <core/events_loop.h>

#include <atomic>
#include <thread>

namespace zel {
namespace libs {
namespace core {

class core;

// Waits for SIGINT and SIGTERM on a thread and a loop of its own, and stops the
// main loop on the first of them.
class signals_handle_impl : public events_loop::signals_handle {
public:
    // Returns once both signals are registered, so that none is missed.
    signals_handle_impl(core& _core, events_loop& _main_events_loop);
    ~signals_handle_impl() override;

    bool signal_is_received() const override { return m_signal_is_received; }

private:
    events_loop::ptr m_thread_events_loop;
    events_loop& m_main_events_loop;
    std::atomic<bool> m_signal_is_received{false};
    std::thread m_thread;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
