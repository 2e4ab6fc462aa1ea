#pragma once
// The virtual HID backend: devices that tests and the demo create, plug and unplug, behind
// the same platform interface as the Linux backend. Plugging and unplugging make
// device_change_waitable() signalled, as a hotplug event would.

#include <memory>
#include <vector>

#include "hid/HidLockTable.h"
#include "hid/HidPlatform.h"
#include "sim/VirtualHidDevice.h"

namespace sim {

struct VirtualHidState;
class VirtualClock;

class VirtualHidPlatform : public HidPlatform {
  public:
    // On a virtual clock the link's delays and the reports' due times count by that clock,
    // and a write that waits for the link moves it; it must outlive the platform.
    explicit VirtualHidPlatform(VirtualClock* clock = nullptr);
    ~VirtualHidPlatform() override;
    VirtualHidPlatform(const VirtualHidPlatform&) = delete;
    VirtualHidPlatform& operator=(const VirtualHidPlatform&) = delete;

    // Plugs a device in; `model` (may be null: reports are taken and ignored) handles its
    // output reports.
    std::shared_ptr<VirtualHidDevice> plug(VirtualDeviceSetup setup,
                                           std::shared_ptr<DeviceModel> model = nullptr);
    std::shared_ptr<VirtualHidDevice> plug(VirtualDeviceSetup setup, OutputHandler handler);
    // The devices plugged in now, in plug order.
    std::vector<std::shared_ptr<VirtualHidDevice>> devices() const;
    // An unavailable service lists nothing and reports no changes.
    void set_available(bool available);

    bool available() const override;
    std::vector<THidPnPInfo> scan() override;
    std::unique_ptr<HidHandle> open(const std::string& path, HidOpenMode mode) override;
    std::unique_ptr<HidWaker> make_waker() override;
    HidWaitable device_change_waitable() const override;
    bool take_device_change() override;
    // Locks between the users of this platform: its devices exist in this process alone.
    std::unique_ptr<HidDeviceLock> try_lock(const std::string& path, HidLockMode mode,
                                            HidLockResult& result) override;

  private:
    std::shared_ptr<VirtualHidState> state_;
    std::shared_ptr<void> clock_listener_;
    HidLockTable locks_;
    // Held for devices plugged with locked_elsewhere, as another program's download would.
    std::vector<std::unique_ptr<HidDeviceLock>> foreign_locks_;
};

}  // namespace sim
