#pragma once
// A clock that moves only when it is moved. Tests and simulated runs give it to the virtual
// backend and to the command line's loop, so that the emulated device's link delays and the
// engines' ticks take no wall-clock time and no scheduler can stretch them: whoever would
// sleep until a time moves the clock there instead.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/DeviceModel.h"

namespace sim {

class VirtualClock {
  public:
    static constexpr Clock::duration TickLength = std::chrono::milliseconds(10);

    // Any thread.
    Clock::time_point now() const { return Clock::time_point(Clock::duration(now_.load())); }

    // Moves the clock to `when` if that is later, then runs the calls that came due, in
    // order, and tells every listener. Runs them on the calling thread.
    void advance_to(Clock::time_point when);
    void advance(Clock::duration by) { advance_to(now() + by); }
    // One tick of the engines' timers.
    void tick() { advance(TickLength); }

    // `call` runs once the clock has reached `when` (on the thread that moves it there).
    void call_at(Clock::time_point when, std::function<void()> call);
    // When the earliest call is due, if any is waiting.
    std::optional<Clock::time_point> next_call() const;

    // `listener` runs after every move; it stops when the returned token is dropped, which
    // must happen before the clock goes.
    [[nodiscard]] std::shared_ptr<void> listen(std::function<void()> listener);

  private:
    struct Call {
        Clock::time_point when;
        std::function<void()> call;
    };

    std::atomic<Clock::rep> now_{0};
    mutable std::mutex mutex_;
    std::vector<Call> calls_;  // in the order they are due
    std::vector<std::pair<std::uint64_t, std::function<void()>>> listeners_;
    std::uint64_t next_listener_ = 0;
};

}  // namespace sim
