#pragma once
// State shared by the virtual platform, its devices and their open handles. One lock for
// everything: this is test infrastructure, and a single lock keeps it obviously race-free.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "hid/HidChangeSignal.h"
#include "sim/VirtualClock.h"

namespace sim {

class VirtualHidDevice;

struct VirtualHidState {
    // Signals the change waitable (plug, unplug).
    void signal_change();
    // The time on the backend's clock: the steady clock, or the virtual one it was given.
    Clock::time_point now() const { return clock != nullptr ? clock->now() : Clock::now(); }

    std::mutex mutex;
    std::condition_variable cond;  // any change a reading thread may wait for
    std::vector<std::shared_ptr<VirtualHidDevice>> devices;
    bool available = true;
    std::uint32_t next_number = 1;
    HidChangeSignal change;
    VirtualClock* clock = nullptr;
};

}  // namespace sim
