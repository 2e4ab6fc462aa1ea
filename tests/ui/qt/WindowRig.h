#pragma once
// The real window on the virtual backend with the emulated firmware, offscreen. Message boxes
// and the file dialog are answered by the rig; pumping runs the event loop, waits for every
// reply the firmware has sent to be handed over, and only when none is outstanding advances
// the clock by one tick (Timer1Timer, Timer2Timer). So time-outs never depend on how fast
// the reading thread runs.

#include <QString>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/CountingModel.h"
#include "sim/EmulatedFirmware.h"
#include "sim/VirtualHidPlatform.h"
#include "ui/qt/TMainForm.h"

namespace vellox::window_test {

// The emulated firmware, counting the input reports it sends.
class CountingFirmware : public sim::CountingModel {
  public:
    explicit CountingFirmware(const std::shared_ptr<sim::EmulatedFirmware>& firmware)
        : CountingModel(firmware), firmware(firmware) {}

    std::shared_ptr<sim::EmulatedFirmware> firmware;
};

// The emulated device with no pacing: every reply is due at once.
sim::EmulatedDeviceSettings QuickDevice();

class WindowRig : public TMainForm {
  public:
    explicit WindowRig(std::shared_ptr<sim::VirtualHidPlatform> platform =
                           std::make_shared<sim::VirtualHidPlatform>(),
                       bool trace = false);
    ~WindowRig() override;

    // Plugs an emulated device in and pumps until the window has noticed it.
    std::shared_ptr<sim::VirtualHidDevice> plug(const sim::EmulatedDeviceSettings& settings,
                                                sim::VirtualDeviceSetup setup = {});
    // Any device with no firmware (answers nothing).
    std::shared_ptr<sim::VirtualHidDevice> plug_other(std::uint16_t vendor, std::uint16_t product);
    void unplug(const std::shared_ptr<sim::VirtualHidDevice>& device);
    // Plug, activate, and run the 80 ticks to the information reply.
    std::shared_ptr<sim::VirtualHidDevice> connect(const sim::EmulatedDeviceSettings& settings);

    void tick();
    void run_ticks(int n);
    // Pumps until `done` holds; false if it did not within `limit` passes.
    bool pump_until(const std::function<bool()>& done, long limit = 200000);

    // Writes an image to a temporary file and makes it the file dialog's answer.
    std::filesystem::path offer_image(const std::vector<std::uint8_t>& image);
    // Information queries the firmware has received.
    int info_queries() const;

    QString status() const { return StatusBar1.panelText(0); }
    bool status_red() const;

    std::shared_ptr<sim::VirtualHidPlatform> platform;
    std::shared_ptr<CountingFirmware> model;  // of the last device plugged by plug()
    std::shared_ptr<sim::VirtualHidDevice> device;

    std::vector<QString> error_boxes;
    std::vector<QString> message_boxes;
    int dialogs = 0;
    std::optional<QString> file;  // the file dialog's answer; nothing cancels
    std::function<void()> on_pump;
    long ticks = 0;
    long pumps = 0;
    // Panel 0 texts as they changed, seen at each pump, with the tick count at the time.
    std::vector<std::pair<long, QString>> status_history;

  protected:
    void ExecuteErrorBox(const QString& text) override { error_boxes.push_back(text); }
    void ExecuteMessageBox(const QString& text) override { message_boxes.push_back(text); }
    std::optional<QString> ExecuteOpenFlashfile() override {
        ++dialogs;
        return file;
    }
    void PumpMessages() override;

  private:
    void settle_events(const std::function<bool()>& done);
    bool await_replies();
    // The selected record's running reading thread, if any.
    const THidDeviceReadThread* reader();
    void note_status();

    long sent() const;

    long lost_ = 0;
    const THidDeviceReadThread* reading_ = nullptr;
    std::vector<std::shared_ptr<CountingFirmware>> models_;
    std::vector<std::filesystem::path> files_;
};

}  // namespace vellox::window_test
