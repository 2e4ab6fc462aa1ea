// The command line's loop while it waits for a device, and its time on a virtual clock.
#include <gtest/gtest.h>

#include "cli/CliEventLoop.h"
#include "hid/PumpedHidDispatcher.h"
#include "hid/THidDeviceController.h"
#include "sim/VirtualClock.h"
#include "sim/VirtualHidPlatform.h"

namespace {

using namespace std::chrono_literals;

// The virtual backend with its hotplug notice lost, as a missed device-change broadcast is.
class NoticelessPlatform : public HidPlatform {
  public:
    explicit NoticelessPlatform(HidPlatform& inner) : inner_(inner) {}
    bool available() const override { return inner_.available(); }
    std::vector<THidPnPInfo> scan() override {
        ++scans;
        return inner_.scan();
    }
    int scans = 0;
    std::unique_ptr<HidHandle> open(const std::string& path, HidOpenMode mode) override {
        return inner_.open(path, mode);
    }
    std::unique_ptr<HidWaker> make_waker() override { return inner_.make_waker(); }

  private:
    HidPlatform& inner_;
};

TEST(CliEventLoop, AWaitRescansWhenNoNoticeComes) {
    sim::VirtualHidPlatform virtual_platform;
    NoticelessPlatform platform(virtual_platform);
    PumpedHidDispatcher dispatcher;
    THidDeviceController controller(platform, dispatcher);
    vellox::cli::CliEventLoop loop(dispatcher, platform, controller);
    ASSERT_EQ(controller.DeviceCount(), 0);
    virtual_platform.plug({}, [](auto, auto, auto&) { return true; });
    // The deadline only turns a hang into a failure.
    EXPECT_TRUE(loop.wait_for_device_change([&] { return controller.DeviceCount() > 0; },
                                            vellox::cli::CliEventLoop::Clock::now() + 60s));
}

// On a virtual clock a wait takes its whole bound at once, rescanning once a period: the
// clock, not the wall, says when it ends.
TEST(CliEventLoop, OnAVirtualClockAWaitEndsAtItsDeadlineByThatClock) {
    sim::VirtualClock clock;
    sim::VirtualHidPlatform virtual_platform(&clock);
    NoticelessPlatform platform(virtual_platform);
    PumpedHidDispatcher dispatcher;
    THidDeviceController controller(platform, dispatcher);
    vellox::cli::CliEventLoop loop(dispatcher, platform, controller, &clock);
    const auto start = clock.now();
    const int scans_before = platform.scans;
    EXPECT_FALSE(loop.wait_for_device_change([] { return false; }, loop.now() + 3s));
    EXPECT_EQ(clock.now() - start, 3s);
    EXPECT_EQ(platform.scans - scans_before, 3);

    // A device due to come within the bound is found when the clock gets there.
    clock.call_at(clock.now() + 2500ms,
                  [&] { virtual_platform.plug({}, [](auto, auto, auto&) { return true; }); });
    EXPECT_TRUE(loop.wait_for_device_change([&] { return controller.DeviceCount() > 0; },
                                            loop.now() + 60s));
    EXPECT_EQ(clock.now() - start, 6s);
}

// Pumping with nothing to do moves the clock to each next tick and runs it: one tick per
// 10 ms of the clock, whatever the wall clock did meanwhile.
TEST(CliEventLoop, OnAVirtualClockIdlePumpingTicksOncePerTickOfThatClock) {
    sim::VirtualClock clock;
    sim::VirtualHidPlatform platform(&clock);
    PumpedHidDispatcher dispatcher;
    THidDeviceController controller(platform, dispatcher);
    vellox::cli::CliEventLoop loop(dispatcher, platform, controller, &clock);
    long ticks = 0;
    loop.set_tick_handler([&] { ++ticks; });
    const auto start = clock.now();
    for (int i = 0; i < 2000; ++i) loop.pump();
    EXPECT_GE(ticks, 20);
    EXPECT_EQ(clock.now() - start, ticks * vellox::cli::CliEventLoop::TickLength);
}

}  // namespace
