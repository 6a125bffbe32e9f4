#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace zel {
namespace libs {
namespace core {

// A one-shot timer of an events loop: armed for one instant of the steady
// clock from its creation on, its callback runs on the loop's thread when the
// instant comes. Destroying it disarms it for good.
class timer {
public:
    using time_point = std::chrono::time_point<std::chrono::steady_clock, std::chrono::nanoseconds>;
    // Receives the instant the timer was armed for, not the moment it ran.
    using callback = std::function<void(time_point)>;
    using ptr = std::unique_ptr<timer>;

    virtual ~timer() = default;

    // True from arming until the wait ends (expiry, stop, or failure); false
    // already inside the callback.
    virtual bool is_waiting() const = 0;
    // Re-arms the timer for _time_point, dropping any tick still to come,
    // including one that has expired but not yet run. Allowed in the callback.
    virtual void reset(time_point _time_point) = 0;
    // Disarms the timer; reset() arms it again.
    virtual void stop() = 0;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
