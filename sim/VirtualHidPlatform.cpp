#include "sim/VirtualHidPlatform.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <thread>

#include "sim/VirtualHidHandle.h"
#include "sim/VirtualHidState.h"

namespace sim {

namespace {

class HandlerModel : public DeviceModel {
  public:
    explicit HandlerModel(OutputHandler handler) : handler_(std::move(handler)) {}
    bool on_output_report(std::span<const std::uint8_t> data, Clock::time_point now,
                          InputSink& link) override {
        return handler_ ? handler_(data, now, link) : true;
    }

  private:
    OutputHandler handler_;
};

// Waits until `when`. Short waits spin (yielding the core): a sleep overshoots by tens of
// microseconds, which at a 125 us link interval would leave the link idle for a good part of
// each interval. For longer waits the overshoot is a small share and the sleep is cheaper.
void wait_until(Clock::time_point when) {
    constexpr auto spin = std::chrono::microseconds(300);
    // A sleep may also end a little early (Windows rounds it to its timer): finish by spinning.
    if (when - Clock::now() > spin) std::this_thread::sleep_until(when);
    while (Clock::now() < when) std::this_thread::yield();
}

}  // namespace

// --- state ---

void VirtualHidState::signal_change() { change.raise(); }

// --- waker ---

void VirtualHidWaker::wake() {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        woken = true;
    }
    state_->cond.notify_all();
}

// --- handle ---

VirtualHidHandle::VirtualHidHandle(std::shared_ptr<VirtualHidState> state,
                                   std::shared_ptr<VirtualHidDevice> device, HidOpenMode mode)
    : state_(std::move(state)),
      device_(std::move(device)),
      mode_(mode),
      has_read_(mode == HidOpenMode::Read) {
    if (mode_ != HidOpenMode::QueryOnly) {
        // Reports that reached the host before this open are not this handle's.
        device_->promote_locked(state_->now());
        device_->readers_.push_back(this);
    }
}

VirtualHidHandle::~VirtualHidHandle() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto& readers = device_->readers_;
    readers.erase(std::remove(readers.begin(), readers.end(), this), readers.end());
}

bool VirtualHidHandle::get_attributes(HidAttributes& attributes) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    const auto& setup = device_->setup_;
    if (!setup.identifiable) {
        hid_set_last_error(EIO);
        return false;
    }
    attributes.VendorID = setup.vendor;
    attributes.ProductID = setup.product;
    attributes.VersionNumber = setup.version;
    return true;
}

std::optional<HidPreparsedData> VirtualHidHandle::get_preparsed_data() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    const auto& setup = device_->setup_;
    if (!setup.has_descriptor || !device_->plugged_) {
        hid_set_last_error(EIO);
        return std::nullopt;
    }
    HidPreparsedData data;
    data.Caps.UsagePage = 0xFF00;
    data.Caps.Usage = 0x01;
    data.Caps.InputReportByteLength = setup.input_report_length;
    data.Caps.OutputReportByteLength = setup.output_report_length;
    data.Caps.FeatureReportByteLength = setup.feature_report_length;
    data.Caps.NumberLinkCollectionNodes = 1;
    return data;
}

bool VirtualHidHandle::write(std::span<const std::uint8_t> report, std::uint32_t& written) {
    written = 0;
    std::shared_ptr<DeviceModel> model;
    Clock::duration interval{};
    const auto now = state_->now();
    Clock::time_point start;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (!device_->plugged_) {
            hid_set_last_error(ENODEV);
            return false;
        }
        if (mode_ != HidOpenMode::ReadWrite) {
            hid_set_last_error(EBADF);
            return false;
        }
        if (report.empty()) {
            hid_set_last_error(EINVAL);
            return false;
        }
        if (device_->refuse_writes_) {
            hid_set_last_error(EPIPE);
            return false;
        }
        model = device_->model_;
        device_->in_write_ = true;
        // The report takes the link for one interval. A write that comes while the report
        // before it is still on the link waits until the link is free, and the device has
        // the report at the end of its interval.
        interval = model ? model->link_interval() : Clock::duration::zero();
        start = std::max(now, device_->out_free_);
        device_->out_free_ = start + interval;
    }
    if (start > now) {
        // On a virtual clock the wait for the link is the clock's move, at once.
        if (state_->clock != nullptr) {
            state_->clock->advance_to(start);
        } else {
            wait_until(start);
        }
    }
    // Without the lock: the model answers through send_input().
    const auto data = report.subspan(1);
    bool accepted = true;
    try {
        if (model) accepted = model->on_output_report(data, start + interval, *device_);
    } catch (...) {
        accepted = false;
    }
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        device_->in_write_ = false;
        if (accepted) device_->written_.emplace_back(data.begin(), data.end());
        if (device_->unplug_after_write_) {
            device_->unplug_after_write_ = false;
            device_->unplug_locked();
        }
    }
    if (!accepted) {
        hid_set_last_error(EPIPE);
        return false;
    }
    written = static_cast<std::uint32_t>(report.size());
    return true;
}

bool VirtualHidHandle::start_read(std::span<std::uint8_t> buffer) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!device_->plugged_) {
        hid_set_last_error(ENODEV);
        return false;
    }
    if (mode_ == HidOpenMode::QueryOnly) {
        hid_set_last_error(EBADF);
        return false;
    }
    if (device_->read_start_error_ != 0) {
        hid_set_last_error(device_->read_start_error_);
        return false;
    }
    if (pending_) {
        hid_set_last_error(EBUSY);
        return false;
    }
    buffer_ = buffer;
    has_read_ = true;
    pending_ = true;
    result_ok_ = false;
    bytes_ = 0;
    return true;
}

HidWaitResult VirtualHidHandle::wait_read(std::chrono::milliseconds timeout, HidWaker& waker) {
    auto* own_waker = dynamic_cast<VirtualHidWaker*>(&waker);
    const auto deadline = state_->now() + timeout;
    std::unique_lock<std::mutex> lock(state_->mutex);
    for (;;) {
        const auto now = state_->now();
        if (!pending_) return HidWaitResult::Completed;
        if (!device_->plugged_) {
            // The read ends with an error, as an unplugged hidraw node reports POLLHUP.
            pending_ = false;
            result_ok_ = false;
            return HidWaitResult::Completed;
        }
        device_->promote_locked(now);
        if (!queue_.empty()) {
            const auto& bytes = queue_.front().bytes;
            const std::size_t n = std::min(bytes.size(), buffer_.size());
            std::copy_n(bytes.begin(), n, buffer_.begin());
            queue_.pop_front();
            bytes_ = static_cast<std::uint32_t>(n);
            result_ok_ = true;
            pending_ = false;
            return HidWaitResult::Completed;
        }
        if (own_waker != nullptr && own_waker->woken) {
            own_waker->woken = false;
            return HidWaitResult::Woken;
        }
        if (now >= deadline) return HidWaitResult::TimedOut;
        if (state_->clock != nullptr) {
            // Every move of the clock notifies; the bound only keeps a lost one from mattering.
            state_->cond.wait_for(lock, timeout);
            continue;
        }
        auto until = deadline;
        if (!device_->in_device_.empty()) until = std::min(until, device_->in_device_.front().due);
        state_->cond.wait_until(lock, until);
    }
}

bool VirtualHidHandle::read_result(std::uint32_t& bytes) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    bytes = 0;
    if (pending_ || !result_ok_) return false;
    bytes = bytes_;
    return true;
}

bool VirtualHidHandle::cancel_read() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    const bool had = pending_;
    pending_ = false;
    result_ok_ = false;
    return had;
}

// --- platform ---

VirtualHidPlatform::VirtualHidPlatform(VirtualClock* clock)
    : state_(std::make_shared<VirtualHidState>()) {
    state_->clock = clock;
    if (clock != nullptr) {
        // A reading thread waits for reports to come due: it looks again at every move. The
        // lock makes sure it either saw the new time or already waits.
        clock_listener_ = clock->listen([state = state_] {
            { const std::lock_guard<std::mutex> lock(state->mutex); }
            state->cond.notify_all();
        });
    }
}

VirtualHidPlatform::~VirtualHidPlatform() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    // Devices refer to the state; dropping the list breaks the cycle.
    for (const auto& device : state_->devices) device->plugged_ = false;
    state_->devices.clear();
    state_->cond.notify_all();
}

std::shared_ptr<VirtualHidDevice> VirtualHidPlatform::plug(VirtualDeviceSetup setup,
                                                           std::shared_ptr<DeviceModel> model) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto device = std::make_shared<VirtualHidDevice>(state_, std::move(setup), std::move(model),
                                                     state_->next_number++);
    state_->devices.push_back(device);
    if (device->setup_.locked_elsewhere) {
        HidLockResult result;
        foreign_locks_.push_back(locks_.try_lock(device->path_, HidLockMode::Exclusive, result));
    }
    state_->signal_change();
    return device;
}

std::shared_ptr<VirtualHidDevice> VirtualHidPlatform::plug(VirtualDeviceSetup setup,
                                                           OutputHandler handler) {
    return plug(std::move(setup), std::make_shared<HandlerModel>(std::move(handler)));
}

std::vector<std::shared_ptr<VirtualHidDevice>> VirtualHidPlatform::devices() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->devices;
}

void VirtualHidPlatform::set_available(bool available) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->available = available;
}

bool VirtualHidPlatform::available() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->available;
}

std::vector<THidPnPInfo> VirtualHidPlatform::scan() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    std::vector<THidPnPInfo> list;
    if (!state_->available) return list;
    for (const auto& device : state_->devices) {
        const auto& setup = device->setup_;
        THidPnPInfo info;
        info.InstanceId = device->instance_id_;
        info.DevInst = device->number_;
        info.DevicePath = device->path_;
        info.DeviceDesc = setup.product_name;
        info.Mfg = setup.manufacturer;
        info.Driver = "virtual";
        info.EnumeratorName = "HID";
        char id[40];
        std::snprintf(id, sizeof id, "HID\\VID_%04X&PID_%04X", setup.vendor, setup.product);
        info.HardwareID.emplace_back(id);
        list.push_back(std::move(info));
    }
    return list;
}

std::unique_ptr<HidHandle> VirtualHidPlatform::open(const std::string& path, HidOpenMode mode) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    for (const auto& device : state_->devices) {
        if (device->path_ != path) continue;
        const auto& setup = device->setup_;
        if (!setup.openable) {
            hid_set_last_error(EACCES);
            return nullptr;
        }
        if (setup.exclusive && mode != HidOpenMode::QueryOnly) {
            hid_set_last_error(EBUSY);
            return nullptr;
        }
        return std::make_unique<VirtualHidHandle>(state_, device, mode);
    }
    hid_set_last_error(ENOENT);
    return nullptr;
}

std::unique_ptr<HidWaker> VirtualHidPlatform::make_waker() {
    return std::make_unique<VirtualHidWaker>(state_);
}

HidWaitable VirtualHidPlatform::device_change_waitable() const { return state_->change.waitable(); }

bool VirtualHidPlatform::take_device_change() {
    if (!state_->change.take()) return false;
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->available;
}

std::unique_ptr<HidDeviceLock> VirtualHidPlatform::try_lock(const std::string& path,
                                                            HidLockMode mode,
                                                            HidLockResult& result) {
    return locks_.try_lock(path, mode, result);
}

}  // namespace sim
