#pragma once
// One HID interface that was present when the controller last built its list.
//
// Ownership: the controller owns a checked-in record. CheckOutAt() hands the record out as a
// std::unique_ptr; destroying that pointer is the release (check-in): the controller then
// holds a fresh checked-in record for the same interface at the same list position, carrying
// this record's data event, unplug event and sleep time, or no entry if the interface is
// gone. The platform and the dispatcher must outlive every record.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "hid/EControllerError.h"
#include "hid/HidEvents.h"
#include "hid/HidPlatform.h"
#include "hid/HidTypes.h"
#include "hid/THidPnPInfo.h"

class HidDispatcher;
class THidDeviceController;
class THidDeviceReadThread;

class THidDevice {
  public:
    // Opens and identifies the interface, then closes it again. Takes the controller's
    // OnDeviceData and OnDeviceUnplug handlers when a controller is given. Throws
    // EControllerError "device cannot be opened" / "device cannot be identified".
    THidDevice(HidPlatform& platform, HidDispatcher& dispatcher, THidPnPInfo pnp_info,
               THidDeviceController* controller);
    // The release: stops the reading thread, closes the handles and checks the record in.
    ~THidDevice();
    THidDevice(const THidDevice&) = delete;
    THidDevice& operator=(const THidDevice&) = delete;

    bool PluggedIn() const { return PluggedIn_.load(); }
    bool CheckedOut() const { return CheckedOut_.load(); }
    bool InEvent() const { return InEvent_.load(); }
    bool ReadWriteAccess() const { return ReadWriteAccess_; }
    const HidAttributes& Attributes() const { return Attributes_; }
    const THidPnPInfo& PnPInfo() const { return PnPInfo_; }
    std::int32_t ThreadSleepTime() const { return ThreadSleepTime_.load(); }
    const THidDataEvent& DataEvent() const { return DataEvent_; }
    const THidDataErrorEvent& DataErrorEvent() const { return DataErrorEvent_; }
    const THidPlugEvent& UnplugEvent() const { return UnplugEvent_; }
    THidDeviceController* Controller() const { return Controller_; }
    bool HasReadThread() const { return ReadThread_ != nullptr; }
    const THidDeviceReadThread* ReadThread() const { return ReadThread_.get(); }

    // PluggedIn and (CheckedOut or InEvent): no handle is opened otherwise.
    bool CanAccess() const;
    bool OpenMain();
    void CloseMain();
    void CloseRead();
    // Fetched once through the main handle, then cached; null when it cannot be had.
    const HidPreparsedData* GetPreparsedData();
    // All zero when there is no preparsed data.
    HidCaps GetCaps();
    // Writes one whole report (byte 0 the report ID, `count` normally OutputReportByteLength);
    // no padding, cutting or checking. Blocks until the platform has taken it.
    bool WriteReport(const std::uint8_t* buf, std::uint32_t count, std::uint32_t& written);
    // Input reports the reading thread's handle keeps unread before newer ones are lost; 0
    // while reading is off. A writer that keeps more reports unanswered than this can lose
    // replies whenever the reading thread is not scheduled.
    std::uint32_t InputQueueCapacity() const { return InputQueueCapacity_; }
    // Whether the reading thread has looked at its handle, with nothing left to hand over,
    // since the last call (true while reading is off); with `ask_again`, wakes it so that it
    // looks again. For time-outs that must not run out while the reader merely waits for the
    // scheduler.
    bool TakeReaderLook(bool ask_again = true);
    // The same without taking the look, for hosts that wait for it before a tick.
    bool ReaderLooked();
    // The interface's lock between Vellox programs (HidPlatform::try_lock), without waiting.
    std::unique_ptr<HidDeviceLock> LockDevice(HidLockMode mode, HidLockResult& result);

    // Replaces the data event; clearing it stops the reading thread (a report waiting for
    // delivery is handed to the old handler first), assigning it may start one. A data or
    // data-error handler must not clear its own record's data event nor release the record:
    // the thread waits for the handler, which would wait for the thread.
    void SetDataEvent(const THidDataEvent& event);
    void SetDataErrorEvent(const THidDataErrorEvent& event) { DataErrorEvent_ = event; }
    void SetUnplugEvent(const THidPlugEvent& event) { UnplugEvent_ = event; }
    // Accepted only from 10 to 10000 ms; other values leave the time unchanged.
    void SetThreadSleepTime(std::int32_t ms);
    // The interface is gone: closes the handles, calls the unplug event once and clears it.
    // A running reading thread goes on and reports data errors until it is stopped.
    void Unplug();

  private:
    friend class THidDeviceController;
    friend class THidDeviceReadThread;

    // The read handle belongs to the reading thread while one runs, so these are not for
    // the record's users: the record opens the handle before it starts the thread, and the
    // thread alone reads through it.
    bool OpenRead();
    bool StartRead(std::uint8_t* buf, std::uint32_t count);
    std::uint32_t ReadResult();
    bool CancelPending();

    void StartReadThread();
    void StopReadThread();
    void CloseReadNow();
    HidWaitResult WaitRead(std::chrono::milliseconds timeout, HidWaker& waker);
    std::unique_ptr<HidHandle> OpenForQueries(bool& read_write);

    HidPlatform& Platform_;
    HidDispatcher& Dispatcher_;
    THidDeviceController* Controller_;
    std::atomic<bool> PluggedIn_{true};
    std::atomic<bool> CheckedOut_{false};
    std::atomic<bool> InEvent_{false};
    std::unique_ptr<HidHandle> MainHandle_;
    // While a reading thread exists only that thread touches the read handle.
    std::unique_ptr<HidHandle> ReadHandle_;
    // A read through the handle failed (a hung-up node stays dead): the next reading thread
    // opens a fresh one.
    bool ReadHandleFailed_ = false;
    HidAttributes Attributes_;
    THidPnPInfo PnPInfo_;
    std::optional<HidPreparsedData> PreparsedData_;
    std::atomic<std::int32_t> ThreadSleepTime_{100};
    THidDataEvent DataEvent_;
    THidDataErrorEvent DataErrorEvent_;
    THidPlugEvent UnplugEvent_;
    bool ReadWriteAccess_ = false;
    std::uint32_t InputQueueCapacity_ = 0;
    std::unique_ptr<THidDeviceReadThread> ReadThread_;
};
