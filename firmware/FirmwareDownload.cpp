#include "firmware/FirmwareDownload.h"

#include <algorithm>

namespace vellox {

namespace {

constexpr std::string_view FileReadError = "File read error";

// Ends the download through its one exit on every path: gauge hidden, Busy cleared, the
// device lock given back unless the closing query still waits for its reply.
class DownloadEnd {
  public:
    DownloadEnd(DownloadHost& host, DeviceDialogue& dialogue, bool& busy)
        : host_(host), dialogue_(dialogue), busy_(busy) {}
    ~DownloadEnd() {
        host_.gauge_set_visible(false);
        dialogue_.EndDownloadLock();
        busy_ = false;
    }
    DownloadEnd(const DownloadEnd&) = delete;
    DownloadEnd& operator=(const DownloadEnd&) = delete;

  private:
    DownloadHost& host_;
    DeviceDialogue& dialogue_;
    bool& busy_;
};

}  // namespace

std::uint32_t echo_window(std::uint32_t queue_capacity) {
    // No reading thread, no queue to overflow: the ring alone bounds the blocks in flight.
    if (queue_capacity == 0) return DeviceDialogue::RingSlots;
    return std::clamp<std::uint32_t>((queue_capacity - 1) / 2, 1, DeviceDialogue::RingSlots);
}

std::int32_t verify_ticks(std::uint32_t size) {
    return std::max<std::int32_t>(MinReplyTicks, static_cast<std::int32_t>((size - 1) >> 10));
}

std::int32_t finish_ticks(std::uint32_t size) {
    return std::max<std::int32_t>(MinReplyTicks, static_cast<std::int32_t>((size - 1) >> 10) * 20);
}

FirmwareDownload::FirmwareDownload(DeviceDialogue& dialogue, DownloadHost& host)
    : dlg_(dialogue), host_(host) {}

void FirmwareDownload::WRITE_24AAClick() {
    // Pumping during a download runs this handler again; the running one goes on.
    if (Busy) return;
    Busy = true;
    FailedStatus = DialogueStatus::Ok;
    DownloadEnd end(host_, dlg_, Busy);
    Outcome = run();
}

void FirmwareDownload::phase(std::string_view text) {
    dlg_.host().set_status(text, StatusColour::Normal);
}

DownloadOutcome FirmwareDownload::refuse(DownloadOutcome outcome, std::string_view text) {
    host_.show_message_box(text);
    return outcome;
}

DownloadOutcome FirmwareDownload::file_failed() {
    dlg_.host().set_status(FileReadError, StatusColour::Red);
    dlg_.host().show_error_box(FileReadError);
    return DownloadOutcome::FileError;
}

DownloadOutcome FirmwareDownload::failed() {
    FailedStatus = dlg_.StatusCode;
    dlg_.show_error(FailedStatus);
    return DownloadOutcome::Failed;
}

bool FirmwareDownload::sum_image_file(const std::filesystem::path& path) {
    // OutReport's storage is the chunk buffer, so the next command carries image bytes in
    // whatever it does not set itself.
    const auto sum = vellox::sum_image_file(path, dlg_.OutReport);
    if (!sum) return false;
    ImageSum = *sum;
    return true;
}

template <typename Done>
bool FirmwareDownload::wait_reply(Done done) {
    do {
        dlg_.host().pump_messages();
    } while (!done() && dlg_.StatusCode == DialogueStatus::Ok);
    return dlg_.StatusCode == DialogueStatus::Ok;
}

DownloadOutcome FirmwareDownload::run() {
    DialogueHost& ui = dlg_.host();
    ReportBuffer& out = dlg_.OutReport;

    ui.trace_clear();
    ui.trace_show();

    dlg_.BlocksSent = 0;
    dlg_.BlocksConfirmed = 0;
    for (auto& slot : dlg_.BlockRing) slot[0] = 0;

    // No information reply yet: nothing to check an image against.
    if (dlg_.FlashSize == 0) return DownloadOutcome::NoCapacity;
    // A dialog raised after the close request counts as cancelled.
    if (ui.close_requested()) return DownloadOutcome::Cancelled;
    const auto path = host_.choose_file(FileDialogSettings{});
    if (!path) return DownloadOutcome::Cancelled;

    if (!sum_image_file(*path)) return refuse(DownloadOutcome::FileError, FileReadError);
    const auto file_size = image_file_size(*path);
    if (!file_size) return refuse(DownloadOutcome::FileError, FileReadError);
    if (*file_size > dlg_.FlashSize || *file_size >= ImageSizeLimit) {
        return refuse(DownloadOutcome::SizeRefused, "Size of file is error");
    }
    const auto size = static_cast<std::uint32_t>(*file_size);

    // The product check comes before anything is sent, so a wrong file never costs the device
    // its firmware. A file too short to hold the identifier is refused the same way.
    {
        auto file = ImageFile::open(*path);
        if (!file) return refuse(DownloadOutcome::FileError, FileReadError);
        const auto n = file->read(std::span(BlockBuffer).first(ImageHeaderLength));
        if (!n) return refuse(DownloadOutcome::FileError, FileReadError);
        const auto id = image_product_id(std::span(BlockBuffer).first(*n));
        if (!id || *id != dlg_.ProductId)
            return refuse(DownloadOutcome::ProductRefused, "Product ID is error");
    }

    // A window activation since the last query may have switched reading off.
    dlg_.ReadBtnDown = true;
    dlg_.ReadBtnClick();

    // Another program's download on this device: nothing may be sent.
    if (!dlg_.LockForDownload()) return refuse(DownloadOutcome::DeviceBusy, DeviceBusyText);

    // Erase. Its replies only re-arm the time-out; the write phase follows whatever happens.
    out[ByteCommand] = CMD_ERASE;
    put_address24(out, 0);
    out[ByteLength] = 1;
    dlg_.send_report(dlg_.StatusCode, EraseTicks);
    dlg_.EraseProgress = 0;
    phase("Erase......");
    host_.gauge_set_visible(true);
    host_.gauge_set_max(100);
    // Nothing was sent when the send failed; waiting for replies could then last for ever.
    if (dlg_.StatusCode == DialogueStatus::Ok) {
        do {
            ui.pump_messages();
            host_.gauge_set_progress(dlg_.EraseProgress);
        } while (dlg_.EraseProgress < 100 && dlg_.TimeoutTicks >= 10);
    }

    phase("Writing......");
    host_.gauge_set_visible(true);
    host_.gauge_set_max(static_cast<std::int32_t>(size));

    const std::uint32_t window =
        echo_window(dlg_.SelectedDevice ? dlg_.SelectedDevice->InputQueueCapacity() : 0);
    // Blocks awaiting their echo fill the window, or all 256 ring slots are in flight.
    const auto no_room = [&] {
        const auto awaiting = static_cast<std::uint8_t>(dlg_.BlocksSent - dlg_.BlocksConfirmed);
        return dlg_.BlockRing[dlg_.BlocksSent][0] != 0 ||
               (window < DeviceDialogue::RingSlots && awaiting >= window);
    };

    {
        // From here on the device is erased: a failure is shown as the dialogue's failures
        // are, in red, not as a plain message over "Writing......".
        auto file = ImageFile::open(*path);
        if (!file) return file_failed();
        std::uint32_t offset = 0;
        do {
            out[ByteCommand] = CMD_WRITE;
            put_address24(out, offset);
            const auto n = file->read(std::span(BlockBuffer).first(block_length_at(offset)));
            // The file shrank or cannot be read: stop rather than send empty blocks.
            if (!n || *n == 0) return file_failed();
            out[ByteLength] = static_cast<std::uint8_t>(*n);
            std::copy(BlockBuffer.begin(), BlockBuffer.end(), out.begin() + ByteData);
            dlg_.send_report(dlg_.StatusCode, WriteTicks);

            std::copy_n(out.begin() + 1, ReplyDataLength, dlg_.BlockRing[dlg_.BlocksSent].begin());
            ++dlg_.BlocksSent;
            host_.gauge_set_progress(static_cast<std::int32_t>(offset));
            ui.pump_messages();
            // No room for the next block. Echoes that merely lag behind the sends (a device
            // that takes writes faster than it answers, or a reading thread that is not
            // scheduled) free a place soon; wait for that, but only as long as the write
            // time-out allows. A device that has stopped echoing still ends with code 10; one
            // that has gone meanwhile ends as the next block's send finds it gone.
            while (no_room() && dlg_.StatusCode == DialogueStatus::Ok &&
                   dlg_.SelectedDevice != nullptr) {
                ui.pump_messages();
            }
            // The wait ran out; a mismatching echo or a failed send keeps its own code.
            if (no_room() && dlg_.StatusCode == DialogueStatus::TimedOut) {
                dlg_.StatusCode = DialogueStatus::EchoesMissing;
            }
            if (dlg_.StatusCode != DialogueStatus::Ok) return failed();
            offset += static_cast<std::uint32_t>(*n);
        } while (offset < size);
    }

    // Drain: one time-out for all echoes still on their way.
    dlg_.TimeoutTicks = DrainTicks;
    dlg_.Timer1Enabled = true;
    dlg_.StatusCode = DialogueStatus::Ok;
    if (!wait_reply([&] { return dlg_.BlocksConfirmed == dlg_.BlocksSent; })) return failed();

    out[ByteCommand] = CMD_VERIFY;
    put_address24(out, size - 1);
    out[ByteLength] = 2;
    dlg_.send_report(dlg_.StatusCode, verify_ticks(size));
    phase("Verify......");
    if (!wait_reply([&] { return dlg_.ReplyFlag; })) return failed();
    const auto device_sum =
        static_cast<std::uint16_t>(dlg_.InReport[ByteData] * 256 + dlg_.InReport[ByteData + 1]);
    if (device_sum != ImageSum) {
        dlg_.StatusCode = DialogueStatus::VerifyFailed;
        return failed();
    }

    out[ByteCommand] = CMD_FINISH;
    put_address24(out, 0);
    out[ByteLength] = 0;
    dlg_.send_report(dlg_.StatusCode, finish_ticks(size));
    phase("OVER......");
    if (!wait_reply([&] { return dlg_.ReplyFlag; })) return failed();

    phase("Download OK!");

    // Refresh the grid, ProductId and FlashSize; the reply is handled whenever it comes.
    std::fill(out.begin() + 2, out.begin() + ReportLength, 0);
    out[ByteCommand] = CMD_INFO;
    dlg_.UnlockAfterInformation();
    dlg_.send_report(dlg_.StatusCode, InfoTicks);
    if (dlg_.StatusCode != DialogueStatus::Ok) dlg_.UnlockDevice();
    return DownloadOutcome::Done;
}

}  // namespace vellox
