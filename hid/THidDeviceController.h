#pragma once
// Keeps the list of present HID interfaces as THidDevice records, follows plug and unplug by
// rescanning (DeviceChange), reports arrivals, removals and changes through its events, walks
// the list (Enumerate) and hands records out (CheckOutAt). At most one exists per program.
// Everything here runs on the user-interface thread.
//
// The platform and the dispatcher are injected and must outlive the controller and every
// record checked out from it. Device-change notifications: the owner waits on
// platform.device_change_waitable() and calls DeviceChange() when platform.take_device_change()
// says so (QtHidDeviceWatcher does that for the window).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hid/EControllerError.h"
#include "hid/HidEvents.h"
#include "hid/HidPlatform.h"
#include "hid/THidDevice.h"

class HidDispatcher;

class THidDeviceController {
  public:
    // Fills the device list. Throws EControllerError "Only one THidDeviceController allowed
    // per program" when another controller exists.
    THidDeviceController(HidPlatform& platform, HidDispatcher& dispatcher);
    // Releases checked-in records and unplugs checked-out ones (their owners still release
    // them; the release then touches no list).
    ~THidDeviceController();
    THidDeviceController(const THidDeviceController&) = delete;
    THidDeviceController& operator=(const THidDeviceController&) = delete;

    // Rescans and reconciles the list: removals (last position first), arrivals (platform
    // order, appended), then at most one OnDeviceChange.
    void DeviceChange();
    // Calls OnEnumerate for each plugged-in record in list order until it returns false;
    // returns how many records were visited. Without a handler it stops at the first.
    std::int32_t Enumerate();
    // Takes the record at list position Idx; false (and HidDev empty) when the position is
    // out of range or the record is already checked out.
    bool CheckOutAt(std::int32_t Idx, std::unique_ptr<THidDevice>& HidDev);

    // Read-only view of the list, for inspection.
    std::int32_t DeviceCount() const { return static_cast<std::int32_t>(DeviceList_.size()); }
    THidDevice* DeviceAt(std::int32_t Idx) const;

    const HidGuidBytes& HidGuid() const { return HidGuid_; }
    const std::string& Version() const { return Version_; }
    bool DeviceChangeFired() const { return DeviceChangeFired_; }
    HidPlatform& Platform() const { return Platform_; }
    HidDispatcher& Dispatcher() const { return Dispatcher_; }

    std::int32_t DevThreadSleepTime() const { return DevThreadSleepTime_; }
    const THidPlugEvent& OnArrival() const { return OnArrival_; }
    const TNotifyEvent& OnDeviceChange() const { return OnDeviceChange_; }
    const THidEnumerateEvent& OnEnumerate() const { return OnEnumerate_; }
    const THidDataEvent& OnDeviceData() const { return OnDeviceData_; }
    const THidDataErrorEvent& OnDeviceDataError() const { return OnDeviceDataError_; }
    const THidPlugEvent& OnDeviceUnplug() const { return OnDeviceUnplug_; }
    const THidPlugEvent& OnRemoval() const { return OnRemoval_; }

    // Propagates to records still using the old value (records accept only 10..10000).
    void SetDevThreadSleepTime(std::int32_t ms);
    void SetOnArrival(const THidPlugEvent& event) { OnArrival_ = event; }
    // A handler with a different function is stored and a rescan runs; the first assignment
    // therefore always calls it once.
    void SetOnDeviceChange(const TNotifyEvent& event);
    void SetOnEnumerate(const THidEnumerateEvent& event) { OnEnumerate_ = event; }
    // These three propagate to records still using the old handler.
    void SetOnDeviceData(const THidDataEvent& event);
    void SetOnDeviceDataError(const THidDataErrorEvent& event);
    void SetOnDeviceUnplug(const THidPlugEvent& event);
    void SetOnRemoval(const THidPlugEvent& event) { OnRemoval_ = event; }

  private:
    friend class THidDevice;

    struct Entry {
        THidDevice* Device = nullptr;
        std::unique_ptr<THidDevice> Owned;  // empty while the record is checked out
    };

    class EventScope;

    std::vector<std::unique_ptr<THidDevice>> BuildDeviceList();
    // A record is being released: handler calls still running must not touch it afterwards.
    void Forget(THidDevice* device);
    bool EnumerateStep(THidDevice* device, std::int32_t idx);
    // Check-in of a released record (called from its destructor).
    void CheckIn(THidDevice* device, THidPnPInfo& pnp_info, const THidDataEvent& data_event,
                 const THidPlugEvent& unplug_event, std::int32_t sleep_time);

    HidPlatform& Platform_;
    HidDispatcher& Dispatcher_;
    HidGuidBytes HidGuid_ = kHidInterfaceClassGuid;
    THidPlugEvent OnArrival_;
    TNotifyEvent OnDeviceChange_;
    THidEnumerateEvent OnEnumerate_;
    THidDataEvent OnDeviceData_;
    THidDataErrorEvent OnDeviceDataError_;
    THidPlugEvent OnDeviceUnplug_;
    THidPlugEvent OnRemoval_;
    bool DeviceChangeFired_ = false;
    std::int32_t DevThreadSleepTime_ = 100;
    std::string Version_ = "1.0.22";
    std::vector<Entry> DeviceList_;
    // Records whose handler call is running, innermost last; released ones become null.
    std::vector<THidDevice*> InHandler_;
};
