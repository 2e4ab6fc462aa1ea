#pragma once
// The Linux backend: interfaces from /sys/class/hidraw, opened through their /dev/hidrawN
// nodes. Both roots can be pointed at a fake tree for tests.

#include <memory>
#include <string>

#include "hid/HidPlatform.h"
#include "hid/linux/LinuxHotplugMonitor.h"

class LinuxHidPlatform : public HidPlatform {
  public:
    struct Options {
        std::string sys_root = "/sys";
        std::string dev_root = "/dev";
        LinuxHotplugMonitor::Source hotplug = LinuxHotplugMonitor::Source::Automatic;
        std::chrono::milliseconds retry_interval = std::chrono::milliseconds(200);
    };

    LinuxHidPlatform();
    explicit LinuxHidPlatform(Options options);
    ~LinuxHidPlatform() override;

    bool available() const override;
    std::vector<THidPnPInfo> scan() override;
    std::unique_ptr<HidHandle> open(const std::string& path, HidOpenMode mode) override;
    std::unique_ptr<HidWaker> make_waker() override;
    HidWaitable device_change_waitable() const override;
    bool take_device_change() override;
    // flock on the device node: advisory, so it binds Vellox programs only.
    std::unique_ptr<HidDeviceLock> try_lock(const std::string& path, HidLockMode mode,
                                            HidLockResult& result) override;

    std::vector<std::string> denied_paths(std::uint16_t vendor,
                                          std::uint16_t product) const override;
    bool access_denied(const std::string& path) const override;
    // Points at the udev rule.
    std::string access_advice(const std::string& path) const override;

    const Options& options() const { return options_; }

  private:
    Options options_;
    LinuxHotplugMonitor monitor_;
};
