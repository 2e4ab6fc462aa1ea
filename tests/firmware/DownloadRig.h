#pragma once
// A download against the emulated device firmware on the fake platform and virtual clock.

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "firmware/DownloadHost.h"
#include "firmware/FirmwareDownload.h"
#include "kit/DialogueRig.h"
#include "sim/EmulatedFirmware.h"

namespace vellox::testkit {

class FakeDownloadHost : public DownloadHost {
  public:
    void gauge_set_visible(bool visible) override { gauge_visible = visible; }
    void gauge_set_max(std::int32_t max) override { gauge_max = max; }
    void gauge_set_progress(std::int32_t progress) override { gauge_progress = progress; }
    std::optional<std::filesystem::path> choose_file(const FileDialogSettings& dialog) override {
        ++dialogs;
        last_dialog = dialog;
        return file;
    }
    void show_message_box(std::string_view text) override { message_boxes.emplace_back(text); }

    bool gauge_visible = false;
    std::int32_t gauge_max = 0;
    std::int32_t gauge_progress = 0;
    std::optional<std::filesystem::path> file;
    int dialogs = 0;
    FileDialogSettings last_dialog;
    std::vector<std::string> message_boxes;
};

// `size` bytes of a varied pattern with `product` at bytes 24..27.
std::vector<std::uint8_t> make_image(std::size_t size, const std::string& product = "V201");

class DownloadRig {
  public:
    explicit DownloadRig(sim::EmulatedDeviceSettings settings = {});
    ~DownloadRig();

    // Writes `bytes` to a file of this test and makes the dialog pick it.
    std::filesystem::path pick(const std::vector<std::uint8_t>& bytes);
    // Runs the click to its end.
    void download() { download_engine.WRITE_24AAClick(); }

    // The output reports the device received, report ID first.
    const std::vector<std::vector<std::uint8_t>>& writes() const { return device->writes; }
    std::vector<std::vector<std::uint8_t>> writes_of(std::uint8_t command) const;

    DialogueRig rig;
    DeviceDialogue& dialogue;
    std::shared_ptr<sim::EmulatedFirmware> firmware;
    std::shared_ptr<FakeHidDevice> device;
    FakeDownloadHost host;
    FirmwareDownload download_engine;
    std::filesystem::path dir;
};

}  // namespace vellox::testkit
