#pragma once
// The command line's message loop: runs the reports that reading threads hand over, advances
// the engines' 10 ms ticks by the steady clock, and rescans when the platform's hotplug
// signal says HID interfaces came or went.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

class HidPlatform;
class PlainHidDispatcher;
class THidDeviceController;

namespace vellox::cli {

class CliEventLoop {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds TickLength{10};
    // How often a wait for a device rescans when no notice came.
    static constexpr std::chrono::milliseconds RescanPeriod{1000};

    CliEventLoop(PlainHidDispatcher& dispatcher, HidPlatform& platform,
                 THidDeviceController& controller);

    // Called once per elapsed tick.
    void set_tick_handler(std::function<void()> handler) { on_tick_ = std::move(handler); }

    // A counter that moves whenever the engines send a report.
    void set_send_counter(std::function<std::uint64_t()> counter) { sends_ = std::move(counter); }

    // One pass of "pump messages". Never blocks while there is work or while the engines keep
    // sending; after many passes that found nothing it sleeps until work arrives or the next
    // tick is due, so waiting loops do not spin a core.
    void pump();

    // Blocks on the hotplug signal until `done()` holds or `deadline` passes; each notification
    // rescans, and so does each RescanPeriod without one. Returns done().
    bool wait_for_device_change(const std::function<bool()>& done, Clock::time_point deadline);

    // Rescans if the hotplug signal is raised now; true when it did.
    bool take_device_change();

  private:
    bool run_due_tick();
    std::size_t run_deliveries();

    PlainHidDispatcher& dispatcher_;
    HidPlatform& platform_;
    THidDeviceController& controller_;
    std::function<void()> on_tick_;
    std::function<std::uint64_t()> sends_;
    std::uint64_t sends_seen_ = 0;
    Clock::time_point next_tick_;
    int idle_passes_ = 0;
};

}  // namespace vellox::cli
