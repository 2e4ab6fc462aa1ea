#include "DialogueRig.h"

#include <thread>

namespace vellox::testkit {

DialogueRig::DialogueRig() {
    controller = std::make_unique<THidDeviceController>(platform, dispatcher);
    dialogue = std::make_unique<DeviceDialogue>(host, *controller);
    host.pump = [this] { pump(); };
}

DialogueRig::~DialogueRig() {
    dialogue.reset();
    controller.reset();
}

std::shared_ptr<FakeHidDevice> DialogueRig::plug(FakeDeviceSetup setup,
                                                 std::shared_ptr<sim::DeviceModel> model) {
    auto device = platform.plug(setup, std::move(model));
    if (platform.take_change()) controller->DeviceChange();
    return device;
}

void DialogueRig::unplug(const std::shared_ptr<FakeHidDevice>& device) {
    platform.unplug(device);
    if (platform.take_change()) controller->DeviceChange();
}

THidDevice* DialogueRig::reader_of(const FakeHidDevice& device) const {
    for (const auto& entry : dialogue->DevListBox) {
        THidDevice* r = entry.record.get();
        if (r != nullptr && r->HasReadThread() && r->PnPInfo().DevicePath == device.path) return r;
    }
    return nullptr;
}

bool DialogueRig::deliver(std::span<const std::uint8_t> data) {
    THidDevice* r = dialogue->SelectedDevice;
    if (r == nullptr || !r->HasReadThread()) {
        ++dropped;
        return false;
    }
    // Devices without numbered reports: the report ID byte is 0 and the data follows.
    r->DataEvent()(r, 0, data.data(), static_cast<std::uint16_t>(data.size()));
    ++delivered;
    return true;
}

void DialogueRig::pump() {
    dispatcher.run_pending();
    if (platform.take_change()) controller->DeviceChange();
    std::vector<std::uint8_t> report;
    for (const auto& device : platform.devices) {
        while (device->take_due(report)) {
            if (reader_of(*device) != nullptr) {
                deliver(report);
                return;
            }
            ++dropped;  // nobody reads this interface: the report is lost
        }
    }
    // A tick that counts toward a reply time-out waits until the selected record's reading
    // thread has looked at its handle, as it counts only then; the fake handle has nothing to
    // give, so this only waits for the thread to be scheduled. Other ticks take no look, and
    // need not cost a switch to that thread.
    THidDevice* r = dialogue->SelectedDevice;
    if (r != nullptr && dialogue->Timer1Enabled && dialogue->TimeoutTicks > 0) {
        while (!r->ReaderLooked()) {
            dispatcher.run_pending();
            std::this_thread::yield();
        }
    }
    clock.tick();
    ++ticks;
    dialogue->Timer1Timer();
    dialogue->Timer2Timer();
}

void DialogueRig::run_ticks(int n) {
    const long end = ticks + n;
    while (ticks < end) pump();
}

void DialogueRig::settle(int limit) {
    for (int i = 0; i < limit; ++i) {
        bool due = false;
        for (const auto& device : platform.devices) {
            due = due || (!device->inputs.empty() && device->inputs.front().due <= clock.now());
        }
        if (!due) return;
        pump();
    }
}

std::vector<std::uint8_t> make_reply(std::uint8_t command,
                                     std::initializer_list<std::pair<int, std::uint8_t>> bytes) {
    // Index i of the result is InReport byte i + 1.
    std::vector<std::uint8_t> r(64, 0);
    r[0] = command;
    for (auto [pos, value] : bytes) r[static_cast<std::size_t>(pos - 1)] = value;
    unsigned sum = 0;
    for (int i = 0; i < 63; ++i) sum += r[static_cast<std::size_t>(i)];
    r[63] = static_cast<std::uint8_t>(sum);
    return r;
}

}  // namespace vellox::testkit
