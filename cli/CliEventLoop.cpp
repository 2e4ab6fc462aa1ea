#include "cli/CliEventLoop.h"

#include <algorithm>
#include <thread>

#include "hid/HidPlatform.h"
#include "hid/PumpedHidDispatcher.h"
#include "hid/THidDevice.h"
#include "hid/THidDeviceController.h"
#include "sim/VirtualClock.h"

namespace vellox::cli {
namespace {

// Passes with nothing to do before a pass may sleep.
constexpr int SpinPasses = 32;
// Ticks further behind than this are dropped rather than caught up.
constexpr auto MaxTickLag = std::chrono::milliseconds(50);

}  // namespace

CliEventLoop::CliEventLoop(PumpedHidDispatcher& dispatcher, HidPlatform& platform,
                           THidDeviceController& controller, sim::VirtualClock* clock)
    : dispatcher_(dispatcher),
      platform_(platform),
      controller_(controller),
      clock_(clock),
      next_tick_(now() + TickLength) {}

CliEventLoop::Clock::time_point CliEventLoop::now() const {
    return clock_ != nullptr ? clock_->now() : Clock::now();
}

bool CliEventLoop::take_device_change() {
    if (!hid_wait_signalled(platform_.device_change_waitable(), std::chrono::milliseconds(0))) {
        return false;
    }
    if (!platform_.take_device_change()) return false;
    controller_.DeviceChange();
    return true;
}

bool CliEventLoop::run_due_tick() {
    const auto now = this->now();
    if (now < next_tick_) return false;
    // No scheduler's time passes with a virtual clock: the reader hands over everything due
    // by now before the tick, and the engines look at what it gave them first.
    if (clock_ != nullptr && settle_reader() > 0) return true;
    // One tick per pass: after a short hiccup the ticks catch up over the next passes, with
    // the replies that waited meanwhile handled in between. A longer stall (the machine busy
    // elsewhere) is not replayed, as a window's timer does not replay missed periods either:
    // replies that did arrive must not turn into time-outs.
    if (now - next_tick_ > MaxTickLag) next_tick_ = now;
    next_tick_ += TickLength;
    if (on_tick_) on_tick_();
    return true;
}

std::size_t CliEventLoop::run_deliveries() { return dispatcher_.run_pending(); }

std::size_t CliEventLoop::settle_reader() {
    THidDevice* reader = reader_ ? reader_() : nullptr;
    if (reader == nullptr) return 0;
    // A look from before the clock moved says nothing about what is due now.
    reader->TakeReaderLook(true);
    std::size_t ran = 0;
    while (!reader->ReaderLooked()) {
        const std::size_t now_ran = run_deliveries();
        ran += now_ran;
        if (now_ran == 0) dispatcher_.wait_for_work(std::chrono::milliseconds(1));
    }
    return ran;
}

void CliEventLoop::pump() {
    const std::size_t ran = run_deliveries();
    bool sent = false;
    if (sends_) {
        const std::uint64_t sends = sends_();
        sent = sends != sends_seen_;
        sends_seen_ = sends;
    }

    const bool ticked = run_due_tick();
    const bool changed = take_device_change();
    if (ran > 0 || sent || ticked || changed) {
        idle_passes_ = 0;
        return;
    }
    if (++idle_passes_ < SpinPasses) return;

    if (clock_ != nullptr) {
        // Nothing to do until the next tick: it is due at once.
        clock_->advance_to(next_tick_);
        run_due_tick();
        return;
    }
    // A waiting loop: sleep until a report is handed over or the next tick is due.
    const auto until_tick = std::chrono::ceil<std::chrono::milliseconds>(next_tick_ - Clock::now());
    if (until_tick.count() > 0 && dispatcher_.wait_for_work(until_tick)) {
        run_deliveries();
        idle_passes_ = 0;
    }
    run_due_tick();
}

bool CliEventLoop::wait_for_device_change(const std::function<bool()>& done,
                                          Clock::time_point deadline) {
    const HidWaitable change = platform_.device_change_waitable();
    while (!done()) {
        dispatcher_.run_pending();
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now());
        if (left.count() <= 0) break;
        // The notice alone is not relied on (a broadcast can be missed, a platform may have
        // none): without one, a rescan about once a second.
        const auto wait = std::min(left, RescanPeriod);
        if (!wait_for_change(change, wait) || platform_.take_device_change()) {
            controller_.DeviceChange();
        }
    }
    // No timer ran while nothing was there to time.
    next_tick_ = now() + TickLength;
    return done();
}

bool CliEventLoop::wait_for_change(HidWaitable change, std::chrono::milliseconds wait) {
    if (clock_ == nullptr) {
        if (change != NoHidWaitable) return hid_wait_signalled(change, wait);
        std::this_thread::sleep_for(wait);
        return false;
    }
    const auto signalled = [change] {
        return change != NoHidWaitable && hid_wait_signalled(change, std::chrono::milliseconds(0));
    };
    // The clock jumps to the end of the wait, stopping at each call due before it (a device
    // plugged in then) to look at the signal.
    const auto end = now() + wait;
    for (;;) {
        if (signalled()) return true;
        if (now() >= end) return false;
        const auto call = clock_->next_call();
        clock_->advance_to(call && *call < end ? *call : end);
    }
}

}  // namespace vellox::cli
