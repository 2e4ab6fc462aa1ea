// The device lock between Vellox programs: a download holds it exclusively from its first
// report to the reply of its closing query, an information query holds it shared.
#include "dialogue/DeviceDialogue.h"

namespace vellox {

bool DeviceDialogue::lock_for_query() {
    // A download of ours already holds it; so may an earlier query still waiting.
    if (DeviceLock_ || SelectedDevice == nullptr) return true;
    HidLockResult result = HidLockResult::Failed;
    auto lock = SelectedDevice->LockDevice(HidLockMode::Shared, result);
    if (result == HidLockResult::HeldExclusive) return false;
    if (lock) {
        DeviceLock_ = std::move(lock);
        DeviceLockMode_ = HidLockMode::Shared;
        UnlockOnInformation_ = true;
    }
    return true;
}

bool DeviceDialogue::LockForDownload() {
    DeviceBusy = false;
    if (DeviceLock_ && DeviceLockMode_ == HidLockMode::Exclusive) return true;
    // A query of our own still waiting for its reply would stand in the way.
    UnlockDevice();
    LockWaitTicks = QueryLockWaitTicks;
    while (SelectedDevice != nullptr) {
        HidLockResult result = HidLockResult::Failed;
        auto lock = SelectedDevice->LockDevice(HidLockMode::Exclusive, result);
        if (lock) {
            DeviceLock_ = std::move(lock);
            DeviceLockMode_ = HidLockMode::Exclusive;
            return true;
        }
        if (result == HidLockResult::Failed) return true;
        if (result == HidLockResult::HeldExclusive || LockWaitTicks <= 0) {
            DeviceBusy = true;
            return false;
        }
        host_.pump_messages();
    }
    return true;
}

void DeviceDialogue::EndDownloadLock() {
    if (!UnlockOnInformation_) UnlockDevice();
}

void DeviceDialogue::UnlockDevice() {
    DeviceLock_.reset();
    UnlockOnInformation_ = false;
}

}  // namespace vellox
