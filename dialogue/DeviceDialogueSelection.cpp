// Device selection: keeps the supported interfaces checked out in DevListBox, selects entry 0
// and switches its replies on or off.
#include "dialogue/DeviceDialogue.h"

namespace vellox {

void DeviceDialogue::FormActivate() {
    // The first assignment makes the controller rescan and call the handler at once.
    HidCtl_.SetOnDeviceChange(TNotifyEvent::bind<&DeviceDialogue::HidCtlDeviceChange>(this));
    DevListBoxClick();
}

void DeviceDialogue::release_device_list() {
    // SelectedDevice refers to one of these records; it must not outlive them, or the next
    // send would write through a released record.
    SelectedDevice = nullptr;
    UnlockDevice();
    for (auto& entry : DevListBox) entry.record.reset();
    DevListBox.clear();
    DevListBoxIndex = -1;
}

void DeviceDialogue::HidCtlDeviceChange(THidDeviceController* /*Sender*/) {
    ReadBtnDown = false;
    ReadBtnClick();
    release_device_list();
    HidCtl_.Enumerate();

    if (!DevListBox.empty()) {
        DevListBoxIndex = 0;
        DevListBoxClick();
        set_panel(true);
        QueryTicks = 0;
        Timer2Enabled = true;
        host_.set_status("", StatusColour::Normal);
    } else {
        // Column 1 of every information row emptied, then the grid cut to its header row.
        StringGrid1.rows.clear();
        host_.show_grid(StringGrid1);
        set_panel(false);
        host_.set_status("No HID device", StatusColour::Normal);
    }
}

bool DeviceDialogue::HidCtlEnumerate(THidDevice* HidDev, std::int32_t Idx) {
    std::string key = device_key(HidDev->Attributes());
    if (key != SupportedDeviceKey) return true;
    DevListEntry entry{std::move(key), nullptr};
    HidCtl_.CheckOutAt(Idx, entry.record);
    DevListBox.push_back(std::move(entry));
    return true;
}

void DeviceDialogue::DevListBoxClick() {
    ReadBtnDown = false;
    ReadBtnClick();
}

void DeviceDialogue::ReadBtnClick() {
    SelectedDevice = nullptr;
    if (DevListBoxIndex < 0 || DevListBoxIndex >= static_cast<int>(DevListBox.size())) return;
    SelectedDevice = DevListBox[static_cast<std::size_t>(DevListBoxIndex)].record.get();
    // An entry whose check-out failed has no record to select.
    if (SelectedDevice == nullptr) return;
    if (!SelectedDevice->ReadWriteAccess()) {
        ReadBtnDown = false;
        return;
    }
    if (ReadBtnDown) {
        SelectedDevice->SetDataEvent(THidDataEvent::bind<&DeviceDialogue::HidDevData>(this));
    } else {
        SelectedDevice->SetDataEvent({});
    }
}

// Plug and unplug are answered in HidCtlDeviceChange, which the controller calls after them.
void DeviceDialogue::HidCtlArrival(THidDevice* HidDev) {
    (void)(device_key(HidDev->Attributes()) == SupportedDeviceKey);
}

void DeviceDialogue::HidCtlRemoval(THidDevice* HidDev) {
    (void)(device_key(HidDev->Attributes()) == SupportedDeviceKey);
}

// A read that cannot be started is of no interest here; the reader retries by itself.
void DeviceDialogue::HidCtlDeviceDataError(THidDevice* /*HidDev*/, std::uint32_t /*Error*/) {}

void DeviceDialogue::set_panel(bool visible) {
    Panel2Visible = visible;
    host_.set_panel_visible(visible);
}

}  // namespace vellox
