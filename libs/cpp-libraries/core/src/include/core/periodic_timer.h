#pragma once

#include <chrono>
#include <memory>

namespace zel {
namespace libs {
namespace core {

// Runs its callback once every period on the thread of its events loop, with
// the nominal instant of the tick. Ticks lie on a fixed grid: a late tick does
// not shift the next ones, and ticks missed altogether are skipped, never
// delivered in a burst.
class periodic_timer {
public:
    using ptr = std::unique_ptr<periodic_timer>;

    // Selects the creation that delivers the first tick at once.
    class execute_now {};

    virtual ~periodic_timer() = default;

    // Changes the period and starts a new grid one period from now. Throws
    // exception for a period of zero or less, leaving the timer as it was.
    virtual void reset(std::chrono::nanoseconds _period) = 0;
    // No tick is delivered afterwards until restart() or reset().
    virtual void stop() = 0;
    // Starts a new grid one period from now.
    virtual void restart() = 0;
    // Delivers the next tick on the next turn of the loop and re-anchors the
    // grid at this instant. Does nothing on a stopped timer.
    virtual void expire_now() = 0;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
