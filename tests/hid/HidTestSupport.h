#pragma once
// Shared pieces of the HID tests: a virtual platform, a plain handoff, and a recorder whose
// bound methods log every event they receive.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hid/HidEvents.h"
#include "hid/PumpedHidDispatcher.h"
#include "hid/THidDevice.h"
#include "hid/THidDeviceController.h"
#include "sim/VirtualHidPlatform.h"

struct Report {
    THidDevice* device;
    std::uint8_t id;
    std::vector<std::uint8_t> data;
};

class Recorder {
  public:
    std::vector<std::string> log;
    std::vector<Report> reports;
    std::vector<std::uint32_t> errors;
    bool enumerate_result = true;
    int enumerate_stop_at = -1;  // 1-based call number that returns false
    std::function<void(THidDevice*, std::int32_t)> on_enumerate;

    void Arrival(THidDevice* d) { log.push_back("arrival " + d->PnPInfo().InstanceId); }
    void Removal(THidDevice* d) { log.push_back("removal " + d->PnPInfo().InstanceId); }
    void Unplug(THidDevice* d) { log.push_back("unplug " + d->PnPInfo().InstanceId); }
    void Change(THidDeviceController*) { log.push_back("change"); }
    void OtherChange(THidDeviceController*) { log.push_back("other change"); }
    bool Enumerate(THidDevice* d, const std::int32_t idx) {
        log.push_back("enumerate " + std::to_string(idx));
        if (on_enumerate) on_enumerate(d, idx);
        return enumerate_stop_at != static_cast<int>(log.size());
    }
    void Data(THidDevice* d, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
        reports.push_back(Report{d, id, std::vector<std::uint8_t>(data, data + size)});
    }
    void OtherData(THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) {}
    void DataError(THidDevice*, std::uint32_t error) { errors.push_back(error); }

    THidPlugEvent arrival() { return THidPlugEvent::bind<&Recorder::Arrival>(this); }
    THidPlugEvent removal() { return THidPlugEvent::bind<&Recorder::Removal>(this); }
    THidPlugEvent unplug() { return THidPlugEvent::bind<&Recorder::Unplug>(this); }
    TNotifyEvent change() { return TNotifyEvent::bind<&Recorder::Change>(this); }
    TNotifyEvent other_change() { return TNotifyEvent::bind<&Recorder::OtherChange>(this); }
    THidEnumerateEvent enumerate() { return THidEnumerateEvent::bind<&Recorder::Enumerate>(this); }
    THidDataEvent data() { return THidDataEvent::bind<&Recorder::Data>(this); }
    THidDataEvent other_data() { return THidDataEvent::bind<&Recorder::OtherData>(this); }
    THidDataErrorEvent data_error() { return THidDataErrorEvent::bind<&Recorder::DataError>(this); }
};

class HidTest : public ::testing::Test {
  protected:
    sim::VirtualHidPlatform platform;
    PumpedHidDispatcher dispatcher;
    Recorder rec;

    std::shared_ptr<sim::VirtualHidDevice> plug(sim::VirtualDeviceSetup setup = {}) {
        return platform.plug(std::move(setup));
    }

    // Runs deliveries until `done` holds. The bound only turns a hang into a failure; it
    // never decides an outcome.
    bool pump_until(const std::function<bool()>& done) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > give_up) return false;
            dispatcher.run_next(std::chrono::milliseconds(20));
        }
        return true;
    }
};
