#pragma once
// One emulated HID interface of the virtual backend. Tests create it through
// VirtualHidPlatform::plug(), hold it to inject input or faults, and unplug it.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sim/DeviceModel.h"

namespace sim {

struct VirtualHidState;
class VirtualHidHandle;

struct VirtualDeviceSetup {
    std::uint16_t vendor = 0xFFFF;
    std::uint16_t product = 0x2016;
    std::uint16_t version = 0x0100;
    // Report lengths as the capabilities give them, report-ID byte included.
    std::uint16_t input_report_length = 65;
    std::uint16_t output_report_length = 65;
    std::uint16_t feature_report_length = 0;
    bool has_descriptor = true;     // false: no preparsed data, all-zero capabilities
    bool exclusive = false;         // held by another program: opens only for queries
    bool locked_elsewhere = false;  // another Vellox program's download holds its lock
    bool openable = true;           // false: every open fails (permissions)
    bool identifiable = true;       // false: the attributes cannot be read
    std::string product_name = "Virtual HID device";
    std::string manufacturer = "Vellox";
};

// A DeviceModel made of a plain function, for tests.
using OutputHandler =
    std::function<bool(std::span<const std::uint8_t> data, Clock::time_point now, InputSink& link)>;

class VirtualHidDevice : public InputSink {
  public:
    VirtualHidDevice(std::shared_ptr<VirtualHidState> state, VirtualDeviceSetup setup,
                     std::shared_ptr<DeviceModel> model, std::uint32_t number);
    ~VirtualHidDevice() override;

    const VirtualDeviceSetup& setup() const { return setup_; }
    const std::string& instance_id() const { return instance_id_; }
    const std::string& path() const { return path_; }
    std::uint32_t number() const { return number_; }
    bool plugged() const;

    // Input reports (data after the report ID) stay in the device until `due`, then reach
    // every reader open at that time. Each reader's queue holds 63 reports and drops newer
    // ones when full, as the kernel's hidraw does: it keeps 64 slots per open file and counts
    // one free slot as full, so 63 unread reports fill it (measured in a QEMU guest).
    void send_input(std::span<const std::uint8_t> data, Clock::time_point due) override;
    // Due at once, by the backend's clock.
    void send_input(std::span<const std::uint8_t> data);
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
    // Reports that have reached the host but not been read yet, for the fullest reader.
    std::size_t unread_reports();
    // Reports dropped by the full queue of a handle that reads (a handle used only for
    // writes fills up and drops unnoticed, as it does on Linux) since the device was plugged
    // in.
    std::uint64_t dropped_reports() const;

    static constexpr std::size_t reader_queue_limit = 63;

  private:
    friend class VirtualHidHandle;
    friend class VirtualHidPlatform;

    struct Queued {
        std::vector<std::uint8_t> bytes;
        Clock::time_point due;
    };
    void enqueue_locked(Queued item);
    // Moves the reports due by `now` from the device into the readers' queues, in order.
    void promote_locked(Clock::time_point now);
    void unplug_locked();

    std::shared_ptr<VirtualHidState> state_;
    VirtualDeviceSetup setup_;
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
    // Reports sent but not yet due: still inside the device, not in any host queue.
    std::deque<Queued> in_device_;
    // When the output link is free for the next report.
    Clock::time_point out_free_ = Clock::time_point::min();
    std::uint64_t dropped_ = 0;
    std::vector<std::vector<std::uint8_t>> written_;
};

}  // namespace sim
