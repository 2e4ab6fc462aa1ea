#pragma once
// The seam between an emulated device's firmware and the link that carries its reports.
// The virtual HID backend (tests, demo, benchmark) and the uhid guest device (kernel tests)
// both drive a DeviceModel through it, so the same firmware runs behind either.

#include <chrono>
#include <cstdint>
#include <span>

namespace sim {

using Clock = std::chrono::steady_clock;

// What the firmware can do to the link.
class InputSink {
  public:
    virtual ~InputSink() = default;
    // Queue one input report (the data bytes, without a report-ID byte, normally 64) to reach
    // the host no earlier than `due`. Reports are delivered in the order they are queued.
    virtual void send_input(std::span<const std::uint8_t> data, Clock::time_point due) = 0;
    // The device drops off the bus (cable pulled) after the current output report.
    virtual void unplug() = 0;
};

// The firmware side of one device.
class DeviceModel {
  public:
    virtual ~DeviceModel() = default;
    // One output report as the device receives it: the data bytes after the report ID
    // (normally 64). Returns false when the device refuses the report (the host's write fails).
    virtual bool on_output_report(std::span<const std::uint8_t> data, Clock::time_point now,
                                  InputSink& link) = 0;
    // How long one report takes on the link (the interrupt endpoints' interval); 0 for a link
    // without delay. An output report occupies the link that long, so a host that writes
    // faster waits for it.
    virtual Clock::duration link_interval() const { return Clock::duration::zero(); }
};

}  // namespace sim
