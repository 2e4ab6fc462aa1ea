#pragma once
// A deterministic HID platform for engine tests: devices live on a virtual clock, their
// firmware is any sim::DeviceModel, and their input reports wait in a queue until the test
// host hands them to the selected record's data event. Reading threads do start (the records
// are real), but their reads never complete, so every delivery happens on the test thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hid/HidLockTable.h"
#include "hid/HidPlatform.h"
#include "sim/DeviceModel.h"
#include "sim/VirtualClock.h"

namespace vellox::testkit {

struct FakeDeviceSetup {
    std::uint16_t vendor = 0xFFFF;
    std::uint16_t product = 0x2016;
    bool read_write = true;  // false: the interface opens only for queries
    std::uint16_t input_length = 65;
    std::uint16_t output_length = 65;
};

using sim::VirtualClock;

class FakeHidDevice : public sim::InputSink {
  public:
    FakeHidDevice(FakeDeviceSetup setup, std::shared_ptr<sim::DeviceModel> model, std::string path,
                  std::uint32_t instance, VirtualClock& clock)
        : setup(setup),
          model(std::move(model)),
          path(std::move(path)),
          instance(instance),
          clock_(clock) {}

    void send_input(std::span<const std::uint8_t> data, sim::Clock::time_point due) override {
        inputs.push_back({std::vector<std::uint8_t>(data.begin(), data.end()), due});
    }
    void unplug() override { unplug_requested = true; }

    // The oldest input report that is due by now, if any.
    bool take_due(std::vector<std::uint8_t>& out) {
        if (inputs.empty() || inputs.front().due > clock_.now()) return false;
        out = std::move(inputs.front().data);
        inputs.pop_front();
        return true;
    }

    struct Input {
        std::vector<std::uint8_t> data;
        sim::Clock::time_point due;
    };

    const FakeDeviceSetup setup;
    std::shared_ptr<sim::DeviceModel> model;
    const std::string path;
    const std::uint32_t instance;
    std::deque<Input> inputs;
    std::vector<std::vector<std::uint8_t>> writes;  // every output report, report ID first
    std::atomic<bool> plugged{true};
    bool unplug_requested = false;
    VirtualClock& clock_;
};

class FakeHidPlatform : public HidPlatform {
  public:
    explicit FakeHidPlatform(VirtualClock& clock) : clock_(clock) {}

    std::shared_ptr<FakeHidDevice> plug(FakeDeviceSetup setup,
                                        std::shared_ptr<sim::DeviceModel> model = nullptr);
    void unplug(const std::shared_ptr<FakeHidDevice>& device);
    // A plug or unplug happened since the last call (what a hotplug event would say).
    bool take_change();

    bool available() const override { return true; }
    std::vector<THidPnPInfo> scan() override;
    std::unique_ptr<HidHandle> open(const std::string& path, HidOpenMode mode) override;
    std::unique_ptr<HidWaker> make_waker() override;
    // Every lock object stands for one program; a test takes one to play another program.
    std::unique_ptr<HidDeviceLock> try_lock(const std::string& path, HidLockMode mode,
                                            HidLockResult& result) override {
        return locks.try_lock(path, mode, result);
    }

    std::vector<std::shared_ptr<FakeHidDevice>> devices;
    HidLockTable locks;

  private:
    VirtualClock& clock_;
    std::uint32_t next_instance_ = 1;
    bool changed_ = false;
};

}  // namespace vellox::testkit
