#include "cli/CliEventLoop.h"

#include <poll.h>

#include <cerrno>

#include "hid/HidPlatform.h"
#include "hid/PlainHidDispatcher.h"
#include "hid/THidDeviceController.h"

namespace vellox::cli {
namespace {

// Passes with nothing to do before a pass may sleep. The download's write loop pumps once per
// block; sleeping at once would hold each block back until an echo came, and the pipeline of
// blocks in flight would shrink to one.
constexpr int SpinPasses = 32;

bool readable(int fd, int timeout_ms) {
    if (fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    int n;
    do {
        n = ::poll(&p, 1, timeout_ms);
    } while (n < 0 && errno == EINTR);
    return n > 0 && (p.revents & (POLLIN | POLLERR | POLLHUP)) != 0;
}

}  // namespace

CliEventLoop::CliEventLoop(PlainHidDispatcher& dispatcher, HidPlatform& platform,
                           THidDeviceController& controller)
    : dispatcher_(dispatcher),
      platform_(platform),
      controller_(controller),
      next_tick_(Clock::now() + TickLength) {}

bool CliEventLoop::take_device_change() {
    if (!readable(platform_.device_change_fd(), 0)) return false;
    if (!platform_.take_device_change()) return false;
    controller_.DeviceChange();
    return true;
}

bool CliEventLoop::run_due_tick() {
    // One tick per pass at most: after a stall the ticks catch up over the next passes, with
    // the replies that waited meanwhile handled in between, so a busy machine does not turn
    // replies that did arrive into time-outs.
    if (Clock::now() < next_tick_) return false;
    next_tick_ += TickLength;
    if (on_tick_) on_tick_();
    return true;
}

void CliEventLoop::pump() {
    if (before_deliveries_) before_deliveries_();
    bool busy = dispatcher_.run_pending() > 0;
    busy = run_due_tick() || busy;
    busy = take_device_change() || busy;
    if (busy) {
        idle_passes_ = 0;
        return;
    }
    if (++idle_passes_ < SpinPasses) return;

    const auto until_tick = std::chrono::ceil<std::chrono::milliseconds>(next_tick_ - Clock::now());
    if (until_tick.count() > 0 && dispatcher_.wait_for_work(until_tick)) {
        if (before_deliveries_) before_deliveries_();
        dispatcher_.run_pending();
        idle_passes_ = 0;
    }
    run_due_tick();
}

bool CliEventLoop::wait_for_device_change(const std::function<bool()>& done,
                                          Clock::time_point deadline) {
    const int fd = platform_.device_change_fd();
    while (!done()) {
        dispatcher_.run_pending();
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || fd < 0) break;
        if (readable(fd, static_cast<int>(left.count())) && platform_.take_device_change()) {
            controller_.DeviceChange();
        }
    }
    return done();
}

}  // namespace vellox::cli
