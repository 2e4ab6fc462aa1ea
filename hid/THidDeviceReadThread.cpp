#include "hid/THidDeviceReadThread.h"

#include <algorithm>

#include "hid/HidDispatcher.h"
#include "hid/THidDevice.h"

THidDeviceReadThread::THidDeviceReadThread(THidDevice& device, HidDispatcher& dispatcher,
                                           std::unique_ptr<HidWaker> waker,
                                           std::uint32_t input_length)
    : Device_(device), Dispatcher_(dispatcher), Waker_(std::move(waker)), Buffer_(input_length) {
    Thread_ = std::thread([this] { Execute(); });
}

THidDeviceReadThread::~THidDeviceReadThread() { Stop(); }

void THidDeviceReadThread::Stop() {
    if (!Thread_.joinable()) return;
    Terminated_ = true;
    Wake();
    // A delivery the thread is blocked in runs here, so the thread can always reach its end.
    Dispatcher_.run_until([this] { return Finished_.load(); });
    Thread_.join();
}

void THidDeviceReadThread::Wake() {
    if (Waker_) Waker_->wake();
}

void THidDeviceReadThread::Execute() {
    const auto length = static_cast<std::uint32_t>(Buffer_.size());
    bool completed = true;  // false while a read is outstanding
    while (!Terminated_) {
        completed = true;
        std::fill(Buffer_.begin(), Buffer_.end(), std::uint8_t{0});
        if (Device_.StartRead(Buffer_.data(), length)) {
            completed = false;
            while (!Terminated_) {
                const auto wait =
                    Device_.WaitRead(std::chrono::milliseconds(Device_.ThreadSleepTime()), *Waker_);
                if (wait == HidWaitResult::Completed) {
                    completed = true;
                    break;
                }
                if (!Device_.CanAccess()) {
                    // Unplugged or released meanwhile: drop the read and the handle; the next
                    // pass reports that reading cannot start.
                    Device_.CancelPending();
                    Device_.CloseReadNow();
                    completed = true;
                    break;
                }
            }
            if (Terminated_) continue;
            BytesRead_ = Device_.ReadResult();
            if (BytesRead_ > 0 && !Deliver(true)) break;
        } else {
            ReadError_ = Device_.Platform_.last_error();
            if (!Deliver(false)) break;
        }
    }
    if (!completed) Device_.CancelPending();
    Finished_ = true;
    Dispatcher_.notify();
}

bool THidDeviceReadThread::Deliver(bool report) {
    THidDevice* device = &Device_;
    const std::function<void()> call = [&] {
        if (report) {
            // DataEvent cannot be cleared while a delivery waits (clearing stops this thread
            // first), but a call through an empty handler must never happen.
            if (device->DataEvent_.Assigned()) {
                device->DataEvent_(device, Buffer_[0], Buffer_.data() + 1,
                                   static_cast<std::uint16_t>(BytesRead_ - 1));
            }
        } else if (device->DataErrorEvent_.Assigned()) {
            device->DataErrorEvent_(device, ReadError_);
        }
    };
    if (std::exception_ptr error = Dispatcher_.synchronize(call)) {
        FatalException_ = error;
        return false;
    }
    return true;
}
