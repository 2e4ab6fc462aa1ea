#pragma once
// The download procedure behind the Download button: erase, pipelined block writes with
// their echoes, drain, verify against the image sum, finish and a fresh information query.
// It runs inside one call of WRITE_24AAClick and keeps the host's messages flowing wherever
// it waits, through DialogueHost::pump_messages.

#include <array>
#include <cstdint>
#include <filesystem>

#include "dialogue/DeviceDialogue.h"
#include "firmware/DownloadHost.h"
#include "firmware/ImageFile.h"

namespace vellox {

inline constexpr std::int32_t EraseTicks = 100;
inline constexpr std::int32_t WriteTicks = 30;
inline constexpr std::int32_t DrainTicks = 250;
inline constexpr std::int32_t InfoTicks = 10;
// Verify and finish wait at least this long; small images would otherwise get no time-out.
inline constexpr std::int32_t MinReplyTicks = 100;

// Blocks the write phase keeps awaiting their echo when the reading thread's handle holds
// `queue_capacity` unread reports: even a device that sends two reports for every block then
// cannot overflow it while the reading thread is not scheduled, and the ring's 256 slots bound
// it from above (and alone when reading is off: 0).
std::uint32_t echo_window(std::uint32_t queue_capacity);

// Time-outs of the verify and finish commands for an image of `size` bytes (size >= 1).
std::int32_t verify_ticks(std::uint32_t size);
std::int32_t finish_ticks(std::uint32_t size);

// How the last download ended: the window shows it through the status bar and the boxes, the
// command line maps it to its exit codes.
enum class DownloadOutcome {
    Done,            // "Download OK!"
    NoCapacity,      // no information reply yet: nothing to check an image against
    Cancelled,       // no file chosen, or the program is closing
    FileError,       // "File read error"
    SizeRefused,     // "Size of file is error"
    ProductRefused,  // "Product ID is error"
    DeviceBusy,      // another program's download holds the device
    Failed,          // the dialogue failed with FailedStatus
};

class FirmwareDownload {
  public:
    FirmwareDownload(DeviceDialogue& dialogue, DownloadHost& host);

    // The click of Write_car. Returns when the download has ended, whatever the outcome.
    void WRITE_24AAClick();

    bool Busy = false;
    DownloadOutcome Outcome = DownloadOutcome::Cancelled;
    DialogueStatus FailedStatus = DialogueStatus::Ok;
    std::uint16_t ImageSum = 0;
    std::array<std::uint8_t, BlockDataLength> BlockBuffer{};

  private:
    DownloadOutcome run();
    void phase(std::string_view text);
    bool sum_image_file(const std::filesystem::path& path);
    // A refusal before anything is sent: a plain message box.
    DownloadOutcome refuse(DownloadOutcome outcome, std::string_view text);
    // A file that cannot be read once the device is erased: red status bar and the error box.
    DownloadOutcome file_failed();
    // The dialogue's failure in StatusCode, reported by the engine.
    DownloadOutcome failed();
    // Pumps until `done` holds; false when StatusCode reports a failure first.
    template <typename Done>
    bool wait_reply(Done done);

    DeviceDialogue& dlg_;
    DownloadHost& host_;
};

}  // namespace vellox
