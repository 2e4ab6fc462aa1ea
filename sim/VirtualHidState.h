#pragma once
// State shared by the virtual platform, its devices and their open handles. One lock for
// everything: this is test infrastructure, and a single lock keeps it obviously race-free.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace sim {

class VirtualHidDevice;

struct VirtualHidState {
    VirtualHidState();
    ~VirtualHidState();
    // Makes the change descriptor readable (plug, unplug).
    void signal_change();

    std::mutex mutex;
    std::condition_variable cond;  // any change a reading thread may wait for
    std::vector<std::shared_ptr<VirtualHidDevice>> devices;
    bool available = true;
    std::uint32_t next_number = 1;
    int event_fd = -1;
};

}  // namespace sim
