#include "FakeHidPlatform.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace vellox::testkit {

namespace {

class FakeWaker : public HidWaker {
  public:
    void wake() override {
        {
            std::lock_guard lock(mutex);
            woken = true;
        }
        cond.notify_all();
    }
    std::mutex mutex;
    std::condition_variable cond;
    bool woken = false;
};

class FakeHidHandle : public HidHandle {
  public:
    FakeHidHandle(std::shared_ptr<FakeHidDevice> device, VirtualClock& clock, HidOpenMode mode)
        : device_(std::move(device)), clock_(clock), mode_(mode) {}

    bool get_attributes(HidAttributes& attributes) override {
        attributes.VendorID = device_->setup.vendor;
        attributes.ProductID = device_->setup.product;
        return true;
    }
    std::optional<HidPreparsedData> get_preparsed_data() override {
        HidPreparsedData data;
        data.Caps.InputReportByteLength = device_->setup.input_length;
        data.Caps.OutputReportByteLength = device_->setup.output_length;
        return data;
    }
    bool write(std::span<const std::uint8_t> report, std::uint32_t& written) override {
        if (mode_ == HidOpenMode::QueryOnly) {
            hid_set_last_error(EBADF);
            return false;
        }
        if (!device_->plugged) {
            hid_set_last_error(ENODEV);
            return false;
        }
        device_->writes.emplace_back(report.begin(), report.end());
        bool taken = true;
        if (device_->model) {
            taken = device_->model->on_output_report(
                report.subspan(std::min<std::size_t>(1, report.size())), clock_.now(), *device_);
        }
        if (device_->unplug_requested) device_->plugged = false;
        if (!taken) {
            hid_set_last_error(EPIPE);
            return false;
        }
        written = static_cast<std::uint32_t>(report.size());
        return true;
    }
    // Reads never complete: the test host delivers input reports itself.
    bool start_read(std::span<std::uint8_t>) override {
        if (device_->plugged) return true;
        hid_set_last_error(EIO);
        return false;
    }
    HidWaitResult wait_read(std::chrono::milliseconds timeout, HidWaker& waker) override {
        auto& w = static_cast<FakeWaker&>(waker);
        std::unique_lock lock(w.mutex);
        const bool woken = w.cond.wait_for(lock, timeout, [&] { return w.woken; });
        w.woken = false;
        return woken ? HidWaitResult::Woken : HidWaitResult::TimedOut;
    }
    bool read_result(std::uint32_t& bytes) override {
        bytes = 0;
        return false;
    }
    bool cancel_read() override { return true; }
    std::uint32_t input_queue_capacity() const override { return 63; }

  private:
    std::shared_ptr<FakeHidDevice> device_;
    VirtualClock& clock_;
    HidOpenMode mode_;
};

}  // namespace

std::shared_ptr<FakeHidDevice> FakeHidPlatform::plug(FakeDeviceSetup setup,
                                                     std::shared_ptr<sim::DeviceModel> model) {
    const std::uint32_t instance = next_instance_++;
    auto device = std::make_shared<FakeHidDevice>(
        setup, std::move(model), "/dev/fakehid" + std::to_string(instance), instance, clock_);
    devices.push_back(device);
    changed_ = true;
    return device;
}

void FakeHidPlatform::unplug(const std::shared_ptr<FakeHidDevice>& device) {
    device->plugged = false;
    changed_ = true;
}

bool FakeHidPlatform::take_change() {
    for (auto& d : devices) {
        if (d->unplug_requested && !d->plugged) {
            d->unplug_requested = false;
            changed_ = true;
        }
    }
    std::erase_if(devices, [](const auto& d) { return !d->plugged; });
    return std::exchange(changed_, false);
}

std::vector<THidPnPInfo> FakeHidPlatform::scan() {
    std::vector<THidPnPInfo> list;
    for (const auto& d : devices) {
        if (!d->plugged) continue;
        THidPnPInfo info;
        info.InstanceId = "fake." + std::to_string(d->instance);
        info.DevInst = d->instance;
        info.DevicePath = d->path;
        list.push_back(std::move(info));
    }
    return list;
}

std::unique_ptr<HidHandle> FakeHidPlatform::open(const std::string& path, HidOpenMode mode) {
    for (const auto& d : devices) {
        if (d->path != path || !d->plugged) continue;
        if (mode != HidOpenMode::QueryOnly && !d->setup.read_write) {
            hid_set_last_error(EACCES);
            return nullptr;
        }
        return std::make_unique<FakeHidHandle>(d, clock_, mode);
    }
    hid_set_last_error(ENOENT);
    return nullptr;
}

std::unique_ptr<HidWaker> FakeHidPlatform::make_waker() { return std::make_unique<FakeWaker>(); }

}  // namespace vellox::testkit
