#pragma once
// The main window's side of the device dialogue, as a plain engine: which device is selected
// and whether its replies are wanted, the command/reply exchange with its time-out, and the
// information query with its display. The window, the command line and the tests drive it by
// calling the handlers below from their own events, and it talks back through DialogueHost.
//
// Everything runs on the user-interface thread. The host calls Timer1Timer() and
// Timer2Timer() every 10 ms tick; each does nothing while its timer is switched off.
//
// The engine takes over the controller's arrival, enumeration, data-error and removal events
// and, at the first FormActivate(), its device-change event. The controller must outlive the
// engine; the engine's destruction switches reading off and gives every record back.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dialogue/DialogueHost.h"
#include "dialogue/Report.h"
#include "hid/THidDevice.h"
#include "hid/THidDeviceController.h"

namespace vellox {

// Whether the report trace starts switched on: the build decides (VELLOX_TRACE).
#ifdef VELLOX_TRACE_ENABLED
inline constexpr bool TraceByDefault = true;
#else
inline constexpr bool TraceByDefault = false;
#endif

// Device key of the one supported interface: vendor 0xFFFF, product 0x2016.
inline constexpr const char* SupportedDeviceKey = "FFFF2016";
// Ticks between a device change and the automatic information query.
inline constexpr std::uint8_t QueryDelayTicks = 80;

// What a query or download kept back by another Vellox program's download says.
inline constexpr std::string_view DeviceBusyText = "Another program is flashing the device";
// Ticks between the attempts of a query kept back that way.
inline constexpr std::uint8_t BusyRetryTicks = 10;
// Ticks a download waits for other programs' queries to end; each lasts one reply at most.
inline constexpr std::int32_t QueryLockWaitTicks = 100;

// Vendor and product as eight upper-case hexadecimal digits ("00AB0C00").
std::string device_key(const HidAttributes& attributes);

class DeviceDialogue {
  public:
    static constexpr std::size_t RingSlots = 256;
    using RingSlot = std::array<std::uint8_t, ReplyDataLength>;

    DeviceDialogue(DialogueHost& host, THidDeviceController& HidCtl);
    ~DeviceDialogue();
    DeviceDialogue(const DeviceDialogue&) = delete;
    DeviceDialogue& operator=(const DeviceDialogue&) = delete;

    // --- Report dialogue -----------------------------------------------------------------

    // Completes the command prepared in OutReport bytes 1..63 (report ID, checksum), writes it
    // to SelectedDevice and arms the reply time-out. `status` ends as Ok (sent), NotConnected
    // or WriteRefused (no time-out armed). Does not wait for the reply.
    void send_report(DialogueStatus& status, std::int32_t ticks);
    // One input report from the selected device (the data event of its record).
    void HidDevData(THidDevice* HidDev, std::uint8_t ReportID, const std::uint8_t* Data,
                    std::uint16_t Size);
    // Timer1: the reply countdown. An accepted reply does not stop it. A tick counts only once
    // the selected record's reading thread has looked since the previous one (see
    // THidDevice::TakeReaderLook).
    void Timer1Timer();
    // Status bar red with the message, then the error box; nothing for Ok (and below).
    void show_error(DialogueStatus status);

    // --- Device selection ----------------------------------------------------------------

    void FormActivate();
    void HidCtlDeviceChange(THidDeviceController* Sender);
    bool HidCtlEnumerate(THidDevice* HidDev, std::int32_t Idx);
    void DevListBoxClick();
    void ReadBtnClick();
    void HidCtlArrival(THidDevice* HidDev);
    void HidCtlRemoval(THidDevice* HidDev);
    void HidCtlDeviceDataError(THidDevice* HidDev, std::uint32_t Error);

    // --- Information query ---------------------------------------------------------------

    // Timer2: counts QueryTicks and sends the automatic query when it reaches 80.
    void Timer2Timer();
    void VerifyClick();
    // Shows one information field of InReport in the grid, unless its first byte is not
    // printable; rows are packed without gaps.
    void get_query(std::int32_t field, std::int32_t first, std::int32_t length);

    // --- Device lock (between Vellox programs) ------------------------------------------

    // Takes the selected device's lock for a download, pumping while other programs merely
    // query it. False, with DeviceBusy set, when another program's download holds it. A lock
    // the platform cannot take at all does not stop a download: its writes then fail or not
    // as they would without one.
    bool LockForDownload();
    // The download's lock goes once the reply to the information query about to be sent is
    // handled, or its time-out has run.
    void UnlockAfterInformation() { UnlockOnInformation_ = DeviceLock_ != nullptr; }
    // Lets go of the download's lock unless UnlockAfterInformation() handed it to a query.
    void EndDownloadLock();
    void UnlockDevice();

    DialogueHost& host() const { return host_; }

    // --- State (the window's fields) -----------------------------------------------------

    // The hexadecimal trace of every report sent and received, into the trace memo.
    bool TraceEnabled = TraceByDefault;
    ReportBuffer OutReport{};
    ReportBuffer InReport{};
    bool ReplyFlag = false;
    DialogueStatus StatusCode = DialogueStatus::Ok;
    std::int32_t TimeoutTicks = 0;
    bool Timer1Enabled = true;
    std::uint8_t EraseProgress = 0;
    std::array<RingSlot, RingSlots> BlockRing{};
    std::uint8_t BlocksSent = 0;
    std::uint8_t BlocksConfirmed = 0;

    struct DevListEntry {
        std::string key;
        std::unique_ptr<THidDevice> record;  // checked out; destroying it checks it in
    };
    std::vector<DevListEntry> DevListBox;
    int DevListBoxIndex = -1;  // the selected entry, -1 for none
    bool ReadBtnDown = false;  // ReadBtn pressed: replies of SelectedDevice are wanted
    THidDevice* SelectedDevice = nullptr;

    bool Panel2Visible = false;
    std::uint8_t QueryTicks = 0;
    bool Timer2Enabled = true;
    std::string ProductId;
    std::uint32_t FlashSize = 0;
    LabelTable ActiveLabelTable = LabelTable::Language0;
    InfoGrid StringGrid1;
    // The last query or download attempt found another program's download holding the device.
    bool DeviceBusy = false;
    std::int32_t LockWaitTicks = 0;  // counted down by Timer1Timer

  private:
    void reset_display();
    void evaluate_information();
    void set_panel(bool visible);
    void release_device_list();
    // The shared lock for one information query; false when a download elsewhere holds it.
    bool lock_for_query();

    DialogueHost& host_;
    THidDeviceController& HidCtl_;
    std::unique_ptr<HidDeviceLock> DeviceLock_;
    HidLockMode DeviceLockMode_ = HidLockMode::Shared;
    bool UnlockOnInformation_ = false;
    bool QueryKeptBack_ = false;  // the status bar says so
};

}  // namespace vellox
