#include "hid/THidDeviceReadThread.h"

#include <algorithm>

#include "hid/THidDevice.h"

THidDeviceReadThread::THidDeviceReadThread(THidDevice& device, HidDispatcher& dispatcher,
                                           std::unique_ptr<HidWaker> waker)
    : Device_(device),
      Dispatcher_(dispatcher),
      Waker_(std::move(waker)),
      Buffer_(ReadBufferSize),
      Call_([this] { RunItem(); }) {
    Thread_ = std::thread([this] { Execute(); });
    // The thread hands nothing over before its first read, so this wait needs no pumping. A
    // condition variable, not std::atomic::wait: libstdc++'s waiter pool outside Linux can
    // miss the notification: under wine the Windows builds hung here in 2 runs of 3.
    std::unique_lock lock(StartMutex_);
    StartedCondition_.wait(lock, [this] { return Started_; });
}

THidDeviceReadThread::~THidDeviceReadThread() { Stop(); }

void THidDeviceReadThread::Stop() {
    if (!Thread_.joinable()) return;
    Terminated_ = true;
    Wake();
    // A call the thread has handed over runs here, so the thread can always reach its end.
    Dispatcher_.run_until([this] { return Finished_.load(); });
    Thread_.join();
}

void THidDeviceReadThread::Wake() {
    if (Waker_) Waker_->wake();
}

bool THidDeviceReadThread::TakeLook(bool ask_again) {
    const bool looked = Looked_.exchange(false) || Finished_;
    if (ask_again) Wake();
    return looked;
}

bool THidDeviceReadThread::Looked() {
    Wake();
    return Looked_ || Finished_;
}

void THidDeviceReadThread::Execute() {
    const auto length = static_cast<std::uint32_t>(Buffer_.size());
    bool reading = false;  // a read is outstanding
    const auto started = [this] {
        const std::lock_guard lock(StartMutex_);
        if (Started_) return;
        Started_ = true;
        StartedCondition_.notify_all();
    };
    while (!Terminated_) {
        if (!Settle()) break;
        HandOver();
        if (!reading) {
            std::fill(Buffer_.begin(), Buffer_.end(), std::uint8_t{0});
            const bool posted = Device_.StartRead(Buffer_.data(), length);
            const std::uint32_t error_code = posted ? 0 : Device_.Platform_.last_error();
            started();
            if (posted) {
                reading = true;
            } else {
                Item error;
                error.report = false;
                error.error = error_code;
                ReadError_ = error.error;
                // The error comes after the reports read before it, and reading is retried
                // only once its handler has run.
                if (!Flush() || Terminated_) break;
                Backlog_.push_back(std::move(error));
                if (!Flush()) break;
                Looked_ = true;
                continue;
            }
        }
        // Woken early when a handed-over call has run, so the next report follows at once.
        const auto wait =
            Device_.WaitRead(std::chrono::milliseconds(Device_.ThreadSleepTime()), *Waker_);
        if (wait == HidWaitResult::Completed) {
            reading = false;
            BytesRead_ = Device_.ReadResult();
            if (BytesRead_ > 0) Keep(BytesRead_);
        } else {
            // The handle had nothing (a wait ends early only when it has nothing to give).
            if (!Settle()) break;
            if (Backlog_.empty()) Looked_ = true;
        }
        if (wait != HidWaitResult::Completed && !Device_.CanAccess()) {
            // Unplugged or released meanwhile: drop the read and the handle; the next pass
            // reports that reading cannot start.
            Device_.CancelPending();
            Device_.CloseReadNow();
            reading = false;
        }
    }
    started();
    if (reading) Device_.CancelPending();
    // A call already handed over runs before the thread ends: its record waits for it.
    if (InFlight_) {
        Dispatcher_.wait(Handoff_);
        Settle();
    }
    Finished_ = true;
    Dispatcher_.notify();
}

void THidDeviceReadThread::Keep(std::uint32_t bytes) {
    ++ReportsRead_;
    if (Backlog_.size() >= BacklogLimit) {
        ++Dropped_;
        return;
    }
    Item item;
    item.bytes.assign(Buffer_.begin(), Buffer_.begin() + bytes);
    Backlog_.push_back(std::move(item));
}

bool THidDeviceReadThread::Settle() {
    if (!InFlight_ || !Dispatcher_.done(Handoff_)) return true;
    InFlight_ = false;
    Current_ = nullptr;
    Backlog_.pop_front();
    // Settled: wait() only reads what the call left behind.
    if (std::exception_ptr error = Dispatcher_.wait(Handoff_)) {
        FatalException_ = error;
        return false;
    }
    return true;
}

void THidDeviceReadThread::HandOver() {
    if (InFlight_ || Backlog_.empty()) return;
    Current_ = &Backlog_.front();
    InFlight_ = true;
    Dispatcher_.post(Handoff_, Call_, Waker_.get());
}

bool THidDeviceReadThread::Flush() {
    while (InFlight_ || (!Backlog_.empty() && !Terminated_)) {
        HandOver();
        Dispatcher_.wait(Handoff_);
        if (!Settle()) return false;
    }
    return true;
}

void THidDeviceReadThread::RunItem() {
    // User-interface thread. DataEvent cannot be cleared while a call is handed over
    // (clearing stops this thread first), but a call through an empty handler must never
    // happen.
    THidDevice* device = &Device_;
    const Item& item = *Current_;
    if (item.report) {
        if (device->DataEvent_.Assigned()) {
            device->DataEvent_(device, item.bytes[0], item.bytes.data() + 1,
                               static_cast<std::uint16_t>(item.bytes.size() - 1));
        }
    } else if (device->DataErrorEvent_.Assigned()) {
        device->DataErrorEvent_(device, item.error);
    }
}
