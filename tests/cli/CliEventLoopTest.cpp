// The command line's loop while it waits for a device.
#include <gtest/gtest.h>

#include "cli/CliEventLoop.h"
#include "hid/PlainHidDispatcher.h"
#include "hid/THidDeviceController.h"
#include "sim/VirtualHidPlatform.h"

namespace {

using namespace std::chrono_literals;

// The virtual backend with its hotplug notice lost, as a missed device-change broadcast is.
class NoticelessPlatform : public HidPlatform {
  public:
    explicit NoticelessPlatform(HidPlatform& inner) : inner_(inner) {}
    bool available() const override { return inner_.available(); }
    std::vector<THidPnPInfo> scan() override { return inner_.scan(); }
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
    PlainHidDispatcher dispatcher;
    THidDeviceController controller(platform, dispatcher);
    vellox::cli::CliEventLoop loop(dispatcher, platform, controller);
    ASSERT_EQ(controller.DeviceCount(), 0);
    virtual_platform.plug({}, [](auto, auto, auto&) { return true; });
    // The deadline only turns a hang into a failure.
    EXPECT_TRUE(loop.wait_for_device_change([&] { return controller.DeviceCount() > 0; },
                                            vellox::cli::CliEventLoop::Clock::now() + 60s));
}

}  // namespace
