#include "hid/THidDevice.h"

#include "hid/HidDispatcher.h"
#include "hid/THidDeviceController.h"
#include "hid/THidDeviceReadThread.h"

THidDevice::THidDevice(HidPlatform& platform, HidDispatcher& dispatcher, THidPnPInfo pnp_info,
                       THidDeviceController* controller)
    : Platform_(platform),
      Dispatcher_(dispatcher),
      Controller_(controller),
      PnPInfo_(std::move(pnp_info)) {
    if (Controller_ != nullptr) {
        // Not checked out yet, so no reading thread starts here.
        SetDataEvent(Controller_->OnDeviceData());
        UnplugEvent_ = Controller_->OnDeviceUnplug();
    }
    MainHandle_ = OpenForQueries(ReadWriteAccess_);
    if (!MainHandle_) throw EControllerError("device cannot be opened");
    Attributes_.Size = 12;
    if (!MainHandle_->get_attributes(Attributes_)) {
        MainHandle_.reset();
        throw EControllerError("device cannot be identified");
    }
    Attributes_.Size = 12;
    CloseMain();
}

THidDevice::~THidDevice() {
    if (Controller_ != nullptr) Controller_->Forget(this);
    const THidDataEvent data_event = DataEvent_;
    const THidPlugEvent unplug_event = UnplugEvent_;
    SetDataEvent(THidDataEvent());
    UnplugEvent_ = THidPlugEvent();
    CloseMain();
    CloseRead();
    PreparsedData_.reset();
    if (Controller_ != nullptr) {
        try {
            Controller_->CheckIn(this, PnPInfo_, data_event, unplug_event, ThreadSleepTime());
        } catch (...) {
            // A release always completes; a failed re-creation only loses the list entry.
        }
    }
}

bool THidDevice::CanAccess() const { return PluggedIn_ && (CheckedOut_ || InEvent_); }

std::unique_ptr<HidHandle> THidDevice::OpenForQueries(bool& read_write) {
    auto handle = Platform_.open(PnPInfo_.DevicePath, HidOpenMode::ReadWrite);
    read_write = handle != nullptr;
    if (!handle) handle = Platform_.open(PnPInfo_.DevicePath, HidOpenMode::QueryOnly);
    return handle;
}

bool THidDevice::OpenMain() {
    if (CanAccess() && !MainHandle_) MainHandle_ = OpenForQueries(ReadWriteAccess_);
    return MainHandle_ != nullptr;
}

bool THidDevice::OpenRead() {
    if (!CanAccess()) {
        // The reading thread lets go of its handle itself once the record is out of reach.
        CloseReadNow();
        hid_set_last_error(Platform_.gone_error());
        return false;
    }
    if (!ReadHandle_) ReadHandle_ = Platform_.open(PnPInfo_.DevicePath, HidOpenMode::Read);
    return ReadHandle_ != nullptr;
}

void THidDevice::CloseMain() { MainHandle_.reset(); }

void THidDevice::CloseRead() {
    if (ReadThread_) {
        // The running thread owns the read handle; it closes it once it sees the record can
        // no longer be accessed.
        ReadThread_->Wake();
        return;
    }
    CloseReadNow();
}

void THidDevice::CloseReadNow() {
    ReadHandle_.reset();
    ReadHandleFailed_ = false;
}

const HidPreparsedData* THidDevice::GetPreparsedData() {
    if (!PreparsedData_ && OpenMain()) {
        PreparsedData_ = MainHandle_->get_preparsed_data();
        CloseMain();
    }
    return PreparsedData_ ? &*PreparsedData_ : nullptr;
}

HidCaps THidDevice::GetCaps() {
    HidCaps caps{};
    if (const HidPreparsedData* data = GetPreparsedData()) caps = data->Caps;
    return caps;
}

bool THidDevice::WriteReport(const std::uint8_t* buf, std::uint32_t count, std::uint32_t& written) {
    written = 0;
    if (!OpenMain()) return false;
    if (!MainHandle_->write(std::span<const std::uint8_t>(buf, count), written)) {
        // A handle whose device went away stays dead: the next write opens afresh rather than
        // failing until a rescan happens to notice.
        const std::uint32_t error = Platform_.last_error();
        if (Platform_.is_gone_error(error)) {
            CloseMain();
            hid_set_last_error(error);
        }
        return false;
    }
    return true;
}

bool THidDevice::TakeReaderLook(bool ask_again) {
    return !ReadThread_ || ReadThread_->TakeLook(ask_again);
}

bool THidDevice::ReaderLooked() { return !ReadThread_ || ReadThread_->Looked(); }

std::unique_ptr<HidDeviceLock> THidDevice::LockDevice(HidLockMode mode, HidLockResult& result) {
    return Platform_.try_lock(PnPInfo_.DevicePath, mode, result);
}

bool THidDevice::StartRead(std::uint8_t* buf, std::uint32_t count) {
    if (!OpenRead()) return false;
    if (ReadHandle_->start_read(std::span<std::uint8_t>(buf, count))) return true;
    ReadHandleFailed_ = true;
    return false;
}

HidWaitResult THidDevice::WaitRead(std::chrono::milliseconds timeout, HidWaker& waker) {
    if (!ReadHandle_) return HidWaitResult::Completed;
    return ReadHandle_->wait_read(timeout, waker);
}

std::uint32_t THidDevice::ReadResult() {
    std::uint32_t bytes = 0;
    if (!ReadHandle_) return 0;
    if (!ReadHandle_->read_result(bytes)) ReadHandleFailed_ = true;
    return bytes;
}

bool THidDevice::CancelPending() { return ReadHandle_ && ReadHandle_->cancel_read(); }

void THidDevice::SetDataEvent(const THidDataEvent& event) {
    if (!event.Assigned()) StopReadThread();
    DataEvent_ = event;
    StartReadThread();
}

void THidDevice::SetThreadSleepTime(std::int32_t ms) {
    if (ms >= 10 && ms <= 10000) ThreadSleepTime_ = ms;
}

void THidDevice::Unplug() {
    // Cleared first so that a running reading thread, once woken, finds the record gone.
    PluggedIn_ = false;
    CloseMain();
    CloseRead();
    // Cleared before the call: the handler may release this record.
    const THidPlugEvent unplug_event = UnplugEvent_;
    UnplugEvent_ = THidPlugEvent();
    if (unplug_event.Assigned()) unplug_event(this);
}

void THidDevice::StartReadThread() {
    if (!DataEvent_.Assigned() || !PluggedIn_ || !CheckedOut_ || !ReadWriteAccess_ || ReadThread_) {
        return;
    }
    // The read handle is opened here, before the thread exists, so that a reply to a command
    // sent right after this call already has a reader (the thread would open it only some
    // time later). If it cannot be opened, the thread reports that as a data error.
    if (ReadHandleFailed_) CloseReadNow();
    OpenRead();
    InputQueueCapacity_ = ReadHandle_ ? ReadHandle_->input_queue_capacity() : 0;
    ReadThread_ =
        std::make_unique<THidDeviceReadThread>(*this, Dispatcher_, Platform_.make_waker());
}

void THidDevice::StopReadThread() {
    if (!ReadThread_) return;
    ReadThread_->Stop();
    ReadThread_.reset();
    InputQueueCapacity_ = 0;
}
