#pragma once
// One emulated HID interface of the virtual backend. Tests create it through
// VirtualHidPlatform::plug(), hold it to inject input or faults, and unplug it.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sim/DeviceModel.h"

namespace sim {

struct VirtualHidState;
class VirtualHidHandle;

struct VirtualDeviceSpec {
    std::uint16_t vendor = 0xFFFF;
    std::uint16_t product = 0x2016;
    std::uint16_t version = 0x0100;
    // Report lengths as the capabilities give them, report-ID byte included.
    std::uint16_t input_report_length = 65;
    std::uint16_t output_report_length = 65;
    std::uint16_t feature_report_length = 0;
    bool has_descriptor = true;  // false: no preparsed data, all-zero capabilities
    bool exclusive = false;      // held by another program: opens only for queries
    bool openable = true;        // false: every open fails (permissions)
    bool identifiable = true;    // false: the attributes cannot be read
    std::string product_name = "Virtual HID device";
    std::string manufacturer = "Vellox";
};

// A DeviceModel made of a plain function, for tests.
using OutputHandler =
    std::function<bool(std::span<const std::uint8_t> data, Clock::time_point now, InputSink& link)>;

class VirtualHidDevice : public InputSink {
  public:
    VirtualHidDevice(std::shared_ptr<VirtualHidState> state, VirtualDeviceSpec spec,
                     std::shared_ptr<DeviceModel> model, std::uint32_t number);
    ~VirtualHidDevice() override;

    const VirtualDeviceSpec& spec() const { return spec_; }
    const std::string& instance_id() const { return instance_id_; }
    const std::string& path() const { return path_; }
    std::uint32_t number() const { return number_; }
    bool plugged() const;

    // Input reports (data after the report ID) reach every open reader no earlier than `due`;
    // each reader's queue holds 64 and drops newer reports when full, as the kernel does.
    void send_input(std::span<const std::uint8_t> data, Clock::time_point due) override;
    void send_input(std::span<const std::uint8_t> data) { send_input(data, Clock::now()); }
    // Queues exactly these bytes as one completed read (report ID included; may be empty).
    void queue_raw_read(std::span<const std::uint8_t> bytes, Clock::time_point due);
    // Drops off the bus: at once, or after the output report being handled.
    void unplug() override;

    // Faults.
    void set_refuse_writes(bool refuse);
    // A non-zero errno makes every read fail to start with it.
    void set_read_start_error(std::uint32_t error);
    void set_exclusive(bool exclusive);

    // Output reports taken so far (data after the report ID).
    std::vector<std::vector<std::uint8_t>> written_reports() const;
    // Open handles that can read (each has its own input queue).
    std::size_t reader_count() const;

  private:
    friend class VirtualHidHandle;
    friend class VirtualHidPlatform;

    struct Queued {
        std::vector<std::uint8_t> bytes;
        Clock::time_point due;
    };
    void enqueue_locked(Queued item);
    void unplug_locked();

    std::shared_ptr<VirtualHidState> state_;
    VirtualDeviceSpec spec_;
    std::shared_ptr<DeviceModel> model_;
    std::uint32_t number_;
    std::string instance_id_;
    std::string path_;
    // Guarded by state_->mutex.
    bool plugged_ = true;
    bool refuse_writes_ = false;
    std::uint32_t read_start_error_ = 0;
    bool in_write_ = false;
    bool unplug_after_write_ = false;
    std::vector<VirtualHidHandle*> readers_;
    std::vector<std::vector<std::uint8_t>> written_;
};

}  // namespace sim
