#pragma once
// One run of vellox-cli after its command line was accepted: sets up the platform (the
// system's hidraw devices, or the emulated device), the controller and the engines, and runs
// the command.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/CliEventLoop.h"
#include "cli/CliHost.h"
#include "cli/CliOptions.h"
#include "cli/ExitCode.h"
#include "cli/Json.h"
#include "cli/ProgressOutput.h"
#include "cli/WatchedHidPlatform.h"
#include "cli/VelloxCli.h"
#include "dialogue/DeviceDialogue.h"
#include "firmware/FirmwareDownload.h"
#include "hid/PumpedHidDispatcher.h"
#include "hid/THidDeviceController.h"

namespace sim {
class EmulatedFirmware;
class VirtualClock;
class VirtualHidPlatform;
}  // namespace sim

namespace vellox::cli {

class CliSession {
  public:
    CliSession(const CliOptions& options, const CliStreams& io);
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    int run();

  private:
    void set_up_platform();
    void plug_simulated_device();
    void dump_simulated_flash();

    int run_list();
    int run_info();
    int run_download();

    // Selects the supported device through the dialogue engine, waiting if asked to. Returns
    // an exit code when there is none to use.
    std::optional<int> select_device();
    void DeviceChanged(THidDeviceController* Sender);
    bool device_selected() const;
    int no_device();
    // Asks the device for its information and waits for the reply; an exit code on failure.
    std::optional<int> query_information();
    // Takes the device lock for a download (waiting with --wait); an exit code when another
    // program holds it.
    std::optional<int> lock_for_download();
    int device_busy(std::string_view message);
    int dialogue_failure(DialogueStatus status);

    void pump();
    // A whole line for the interrupt handler to write as it stands.
    std::string interrupt_line(std::string_view text) const;
    void print_json(const Json& object);
    int json_failure(int code, std::string_view message);

    const CliOptions& options_;
    const CliStreams& io_;
    ProgressOutput progress_;
    CliHost host_;

    // Set when the emulated device runs on a virtual clock; the loop then runs on it too.
    std::unique_ptr<sim::VirtualClock> virtual_clock_;
    std::unique_ptr<sim::VirtualHidPlatform> virtual_platform_;
    std::shared_ptr<sim::EmulatedFirmware> firmware_;
    std::unique_ptr<HidPlatform> system_platform_;
    std::unique_ptr<WatchedHidPlatform> watched_platform_;
    HidPlatform* platform_ = nullptr;

    // Plugs the emulated device in after a delay, while the main thread waits on the hotplug
    // descriptor.
    std::mutex plug_mutex_;
    std::condition_variable_any plug_cond_;
    std::jthread plug_thread_;

    PumpedHidDispatcher dispatcher_;
    std::unique_ptr<THidDeviceController> controller_;
    std::unique_ptr<CliEventLoop> loop_;
    std::unique_ptr<DeviceDialogue> dialogue_;
    std::unique_ptr<FirmwareDownload> download_;
};

}  // namespace vellox::cli
