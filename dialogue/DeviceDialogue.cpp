// Report dialogue: sending, judging replies, the reply countdown and the error reporter.
#include "dialogue/DeviceDialogue.h"

#include <algorithm>
#include <cstdio>

namespace vellox {

std::string device_key(const HidAttributes& attributes) {
    char key[9];
    std::snprintf(key, sizeof key, "%.4X%.4X", static_cast<unsigned>(attributes.VendorID),
                  static_cast<unsigned>(attributes.ProductID));
    return key;
}

DeviceDialogue::DeviceDialogue(DialogueHost& host, THidDeviceController& HidCtl)
    : host_(host), HidCtl_(HidCtl) {
    HidCtl_.SetDevThreadSleepTime(0);
    HidCtl_.SetOnArrival(THidPlugEvent::bind<&DeviceDialogue::HidCtlArrival>(this));
    HidCtl_.SetOnEnumerate(THidEnumerateEvent::bind<&DeviceDialogue::HidCtlEnumerate>(this));
    HidCtl_.SetOnDeviceDataError(
        THidDataErrorEvent::bind<&DeviceDialogue::HidCtlDeviceDataError>(this));
    HidCtl_.SetOnRemoval(THidPlugEvent::bind<&DeviceDialogue::HidCtlRemoval>(this));
}

DeviceDialogue::~DeviceDialogue() {
    // As the window's destruction: stop the selected record's reading thread, whose data
    // event points at this engine, before anything else goes.
    DevListBoxClick();
    release_device_list();
    if (HidCtl_.OnDeviceChange().Object() == this) HidCtl_.SetOnDeviceChange({});
    HidCtl_.SetOnArrival({});
    HidCtl_.SetOnEnumerate({});
    HidCtl_.SetOnDeviceDataError({});
    HidCtl_.SetOnRemoval({});
}

void DeviceDialogue::send_report(DialogueStatus& status, std::int32_t ticks) {
    status = DialogueStatus::Ok;
    ReplyFlag = false;
    OutReport[0] = 0;
    OutReport[ByteChecksum] = report_checksum(OutReport);

    if (TraceEnabled) {
        host_.trace_append(" ");
        host_.trace_append("out->:" + hex_bytes(std::span(OutReport).subspan(1, ReplyDataLength)));
    }

    if (SelectedDevice == nullptr) {
        status = DialogueStatus::NotConnected;
        return;
    }
    const std::uint32_t length = SelectedDevice->GetCaps().OutputReportByteLength;
    // A device claiming reports longer than our buffer would have us send memory we do not
    // own; it cannot take our 65-byte command, so count it as a refused write.
    std::uint32_t written = 0;
    if (length > OutReport.size() ||
        !SelectedDevice->WriteReport(OutReport.data(), length, written)) {
        status = DialogueStatus::WriteRefused;
        return;
    }
    TimeoutTicks = ticks;
    Timer1Enabled = true;
    // A look before the write says nothing about its reply. The reader is woken by the reply
    // itself, or by the next tick.
    SelectedDevice->TakeReaderLook(false);
}

void DeviceDialogue::HidDevData(THidDevice* /*HidDev*/, std::uint8_t ReportID,
                                const std::uint8_t* Data, std::uint16_t Size) {
    InReport[0] = ReportID;
    // Longer reports than the buffer holds are cut; they can never be accepted anyway.
    const std::size_t stored = std::min<std::size_t>(Size, InReport.size() - 1);
    if (stored > 0) std::copy_n(Data, stored, InReport.begin() + 1);

    if (TraceEnabled) {
        host_.trace_append("IN<-  " + hex_bytes(std::span(InReport).subspan(1, stored)));
    }

    const bool checksum_ok = report_checksum(InReport) == InReport[ByteChecksum];
    const bool judged = checksum_ok && Size == ReplyDataLength;
    const std::uint8_t command = InReport[ByteCommand];

    // Erase progress counts whatever command is outstanding.
    if (judged && command == CMD_ERASE) {
        TimeoutTicks = 100;
        EraseProgress = InReport[ByteData];
    }

    if (!judged || command != OutReport[ByteCommand]) return;
    ReplyFlag = true;

    if (command == CMD_WRITE) {
        RingSlot& slot = BlockRing[BlocksConfirmed];
        if (std::equal(slot.begin(), slot.end(), InReport.begin() + 1)) {
            slot[0] = 0;
            ++BlocksConfirmed;
        } else {
            StatusCode = DialogueStatus::VerifyFailed;
        }
    }
    if (command == CMD_INFO) {
        evaluate_information();
        if (UnlockOnInformation_) UnlockDevice();
    }
}

void DeviceDialogue::Timer1Timer() {
    if (LockWaitTicks > 0) --LockWaitTicks;
    if (!Timer1Enabled || TimeoutTicks <= 0) return;
    // A tick counts only once the reading thread has looked at its handle since the previous
    // tick and has nothing left to hand over, so that a reply that has come is never timed
    // out while the reader waits for the scheduler. The look is taken here and asked for again.
    if (SelectedDevice != nullptr && !SelectedDevice->TakeReaderLook()) return;
    if (--TimeoutTicks == 0) {
        StatusCode = DialogueStatus::TimedOut;
        Timer1Enabled = false;
        // The information query the lock waited for will not be answered now.
        if (UnlockOnInformation_) UnlockDevice();
    }
}

void DeviceDialogue::show_error(DialogueStatus status) {
    const std::string_view message = status_message(status);
    if (message.empty()) return;
    host_.set_status(message, StatusColour::Red);
    host_.show_error_box(message);
}

}  // namespace vellox
