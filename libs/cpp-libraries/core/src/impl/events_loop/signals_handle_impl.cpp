#include <core/impl/events_loop/signals_handle_impl.h>

#include <core/core.h>

#include <boost/asio/signal_set.hpp>

#include <csignal>
#include <future>

namespace zel {
namespace libs {
namespace core {

signals_handle_impl::signals_handle_impl(core& _core, events_loop& _main_events_loop)
    : m_thread_events_loop(_core.create_events_loop("stop_on_signals"))
    , m_main_events_loop(_main_events_loop) {
    std::promise<void> registered;
    auto registration = registered.get_future();
    // The thread owns the promise: set_value may still be inside it after our
    // get() has returned.
    m_thread = std::thread([this, registered = std::move(registered)]() mutable {
        {
            boost::asio::signal_set signals(m_thread_events_loop->get_io_context());
            try {
                signals.add(SIGINT);
                signals.add(SIGTERM);
            } catch (...) {
                registered.set_exception(std::current_exception());
                return;
            }
            signals.async_wait([this](const boost::system::error_code& _error, int) {
                if (_error) {
                    return;
                }
                m_signal_is_received = true;
                m_main_events_loop.stop();
                m_thread_events_loop->stop();
            });
            registered.set_value();
            m_thread_events_loop->run();
        }
        // A signal caught after the destructor stopped our loop leaves the wait's
        // completion queued: it runs here, while the handle is whole, instead of
        // in the drain of the loop's destructor.
        auto& io_context = m_thread_events_loop->get_io_context();
        io_context.restart();
        io_context.poll();
    });
    // A signal that came between our return and the registration would kill
    // the process with the default disposition: wait for the registration.
    try {
        registration.get();
    } catch (...) {
        m_thread.join();
        throw;
    }
}

signals_handle_impl::~signals_handle_impl() {
    m_thread_events_loop->stop();
    m_thread.join();
}

}  // namespace core
}  // namespace libs
}  // namespace zel
