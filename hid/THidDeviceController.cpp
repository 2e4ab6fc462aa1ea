#include "hid/THidDeviceController.h"

#include <atomic>

#include "hid/HidDispatcher.h"

namespace {
std::atomic<int> g_controller_count{0};
}

// One handler call about a record. The handler may release the record (its owner may, for a
// checked-out one); Alive() then turns false and the record must not be touched again.
class THidDeviceController::EventScope {
  public:
    // `in_event` sets the record's InEvent for the call, which lets the handler open it.
    EventScope(THidDeviceController& controller, THidDevice* device, bool in_event)
        : controller_(controller), slot_(controller.InHandler_.size()), in_event_(in_event) {
        controller.InHandler_.push_back(device);
        if (in_event_) device->InEvent_ = true;
    }
    ~EventScope() {
        if (in_event_ && Alive()) controller_.InHandler_[slot_]->InEvent_ = false;
        controller_.InHandler_.resize(slot_);
    }
    EventScope(const EventScope&) = delete;
    EventScope& operator=(const EventScope&) = delete;

    bool Alive() const { return controller_.InHandler_[slot_] != nullptr; }

  private:
    THidDeviceController& controller_;
    std::size_t slot_;
    bool in_event_;
};

THidDeviceController::THidDeviceController(HidPlatform& platform, HidDispatcher& dispatcher)
    : Platform_(platform), Dispatcher_(dispatcher) {
    if (++g_controller_count > 1) {
        --g_controller_count;
        throw EControllerError("Only one THidDeviceController allowed per program");
    }
    try {
        for (auto& device : BuildDeviceList()) {
            THidDevice* raw = device.get();
            DeviceList_.push_back(Entry{raw, std::move(device)});
        }
    } catch (...) {
        // No controller came to be, so it must not keep the one place taken.
        for (auto& entry : DeviceList_) entry.Device->Controller_ = nullptr;
        DeviceList_.clear();
        --g_controller_count;
        throw;
    }
}

THidDeviceController::~THidDeviceController() {
    --g_controller_count;
    OnDeviceChange_ = TNotifyEvent();
    OnDeviceUnplug_ = THidPlugEvent();
    OnEnumerate_ = THidEnumerateEvent();
    for (auto& entry : DeviceList_) {
        entry.Device->Controller_ = nullptr;
        if (entry.Device->CheckedOut()) {
            // Its user still holds it; the release then touches no list.
            entry.Device->Unplug();
        } else {
            entry.Owned.reset();
        }
    }
    DeviceList_.clear();
}

THidDevice* THidDeviceController::DeviceAt(std::int32_t Idx) const {
    if (Idx < 0 || Idx >= DeviceCount()) return nullptr;
    return DeviceList_[static_cast<std::size_t>(Idx)].Device;
}

std::vector<std::unique_ptr<THidDevice>> THidDeviceController::BuildDeviceList() {
    std::vector<std::unique_ptr<THidDevice>> list;
    if (!Platform_.available()) return list;
    for (auto& info : Platform_.scan()) {
        try {
            list.push_back(
                std::make_unique<THidDevice>(Platform_, Dispatcher_, std::move(info), this));
        } catch (const EControllerError&) {
            // Interfaces that cannot be opened or identified are left out silently.
        }
    }
    return list;
}

void THidDeviceController::DeviceChange() {
    bool changed = false;
    auto fresh = BuildDeviceList();

    // Removals, last position first. Handlers may touch the list, so positions are checked
    // again after each call.
    for (std::size_t i = DeviceList_.size(); i-- > 0;) {
        if (i >= DeviceList_.size()) continue;
        THidDevice* record = DeviceList_[i].Device;
        bool present = false;
        if (record->PluggedIn()) {
            for (std::size_t j = fresh.size(); j-- > 0;) {
                if (fresh[j]->PnPInfo().InstanceId == record->PnPInfo().InstanceId) {
                    present = true;
                    break;
                }
            }
        }
        if (present) continue;
        changed = true;
        {
            EventScope scope(*this, record, false);
            record->Unplug();
            if (!scope.Alive()) continue;
        }
        if (OnRemoval_.Assigned()) {
            EventScope scope(*this, record, true);
            OnRemoval_(record);
            if (!scope.Alive()) continue;
        }
        if (!record->CheckedOut()) {
            for (std::size_t k = 0; k < DeviceList_.size(); ++k) {
                if (DeviceList_[k].Device == record) {
                    record->Controller_ = nullptr;
                    DeviceList_.erase(DeviceList_.begin() + static_cast<std::ptrdiff_t>(k));
                    break;
                }
            }
        }
    }

    // Interfaces already listed and still plugged in keep their record.
    for (auto& candidate : fresh) {
        for (const auto& entry : DeviceList_) {
            if (entry.Device->PluggedIn() &&
                entry.Device->PnPInfo().InstanceId == candidate->PnPInfo().InstanceId) {
                candidate->Controller_ = nullptr;
                candidate.reset();
                break;
            }
        }
    }

    // Arrivals, in platform order, at the end of the list.
    for (auto& candidate : fresh) {
        if (!candidate) continue;
        THidDevice* record = candidate.get();
        DeviceList_.push_back(Entry{record, std::move(candidate)});
        changed = true;
        if (OnArrival_.Assigned()) {
            EventScope scope(*this, record, true);
            OnArrival_(record);
        }
    }

    if ((changed || !DeviceChangeFired_) && OnDeviceChange_.Assigned()) OnDeviceChange_(this);
}

std::int32_t THidDeviceController::Enumerate() {
    std::int32_t count = 0;
    for (std::int32_t i = 0; i < DeviceCount(); ++i) {
        THidDevice* record = DeviceList_[static_cast<std::size_t>(i)].Device;
        if (!record->PluggedIn()) continue;
        ++count;
        if (!EnumerateStep(record, i)) break;
    }
    return count;
}

bool THidDeviceController::EnumerateStep(THidDevice* device, std::int32_t idx) {
    if (!OnEnumerate_.Assigned()) return false;
    EventScope scope(*this, device, true);
    const bool go_on = OnEnumerate_(device, idx);
    if (scope.Alive() && !device->CheckedOut()) {
        device->CloseMain();
        device->CloseRead();
    }
    return go_on;
}

bool THidDeviceController::CheckOutAt(std::int32_t Idx, std::unique_ptr<THidDevice>& HidDev) {
    // The index names a record of the list as the caller saw it. Releasing the record the out
    // value still holds may drop or replace that one's entry, so the wanted record is picked
    // first and found again afterwards.
    THidDevice* wanted = DeviceAt(Idx);
    if (wanted != nullptr && wanted->CheckedOut()) wanted = nullptr;
    HidDev.reset();
    if (wanted == nullptr) return false;
    for (Entry& entry : DeviceList_) {
        if (entry.Device != wanted || !entry.Owned) continue;
        HidDev = std::move(entry.Owned);
        HidDev->CheckedOut_ = true;
        HidDev->StartReadThread();
        return true;
    }
    return false;
}

void THidDeviceController::Forget(THidDevice* device) {
    for (auto& entry : InHandler_) {
        if (entry == device) entry = nullptr;
    }
}

void THidDeviceController::CheckIn(THidDevice* device, THidPnPInfo& pnp_info,
                                   const THidDataEvent& data_event,
                                   const THidPlugEvent& unplug_event, std::int32_t sleep_time) {
    for (std::size_t i = 0; i < DeviceList_.size(); ++i) {
        if (DeviceList_[i].Device != device) continue;
        if (device->PluggedIn()) {
            try {
                auto record =
                    std::make_unique<THidDevice>(Platform_, Dispatcher_, std::move(pnp_info), this);
                record->SetDataEvent(data_event);
                record->UnplugEvent_ = unplug_event;
                record->SetThreadSleepTime(sleep_time);
                DeviceList_[i].Device = record.get();
                DeviceList_[i].Owned = std::move(record);
                return;
            } catch (const EControllerError&) {
                // Gone between the last scan and the release: the next rescan would drop it
                // anyway, so the entry goes now.
            }
        }
        DeviceList_.erase(DeviceList_.begin() + static_cast<std::ptrdiff_t>(i));
        return;
    }
}

void THidDeviceController::SetOnDeviceChange(const TNotifyEvent& event) {
    if (event.SameFunction(OnDeviceChange_)) return;
    OnDeviceChange_ = event;
    DeviceChange();
    DeviceChangeFired_ = true;
}

void THidDeviceController::SetOnDeviceData(const THidDataEvent& event) {
    if (event.SameFunction(OnDeviceData_)) return;
    for (const auto& entry : DeviceList_) {
        if (entry.Device->DataEvent().SameFunction(OnDeviceData_)) {
            entry.Device->SetDataEvent(event);
        }
    }
    OnDeviceData_ = event;
}

void THidDeviceController::SetOnDeviceDataError(const THidDataErrorEvent& event) {
    if (event.SameFunction(OnDeviceDataError_)) return;
    for (const auto& entry : DeviceList_) {
        if (entry.Device->DataErrorEvent().SameFunction(OnDeviceDataError_)) {
            entry.Device->SetDataErrorEvent(event);
        }
    }
    OnDeviceDataError_ = event;
}

void THidDeviceController::SetOnDeviceUnplug(const THidPlugEvent& event) {
    if (event.SameFunction(OnDeviceUnplug_)) return;
    for (const auto& entry : DeviceList_) {
        if (entry.Device->UnplugEvent().SameFunction(OnDeviceUnplug_)) {
            entry.Device->SetUnplugEvent(event);
        }
    }
    OnDeviceUnplug_ = event;
}

void THidDeviceController::SetDevThreadSleepTime(std::int32_t ms) {
    if (ms == DevThreadSleepTime_) return;
    for (const auto& entry : DeviceList_) {
        if (entry.Device->ThreadSleepTime() == DevThreadSleepTime_) {
            entry.Device->SetThreadSleepTime(ms);
        }
    }
    DevThreadSleepTime_ = ms;
}
