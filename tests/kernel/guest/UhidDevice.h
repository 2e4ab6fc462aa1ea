#pragma once
// One HID device made through /dev/uhid: the kernel's HID core and hid-generic drive it as
// they would a USB device, and hidraw gives it a /dev/hidrawN node.

#include <linux/uhid.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "UniqueFd.h"

namespace guest {

struct UhidIdentity {
    std::string name = "Vellox emulated device";
    std::uint16_t bus = 0x03;  // BUS_USB, so that the node looks like the real device's
    std::uint32_t vendor = 0xFFFF;
    std::uint32_t product = 0x2016;
    std::uint32_t version = 0x0100;
};

// Vendor-defined collection: one 64-byte input and one 64-byte output report, no report IDs.
std::span<const std::uint8_t> vellox_report_descriptor();

class UhidDevice {
  public:
    // Opens /dev/uhid (throws std::system_error). The device exists only after create().
    explicit UhidDevice(const char* path = "/dev/uhid");

    void create(const UhidIdentity& identity, std::span<const std::uint8_t> descriptor);
    // The kernel removes the hidraw node and the HID device, as when a cable is pulled.
    void destroy();
    bool created() const { return created_; }
    int fd() const { return fd_.get(); }

    // Reads one pending event; nullopt when none is pending (the descriptor is non-blocking).
    std::optional<uhid_event> read_event();
    // One input report: the data bytes, without a report-ID byte.
    void send_input(std::span<const std::uint8_t> data);
    // Answers a GET_REPORT/SET_REPORT request; the kernel waits for the answer otherwise.
    void reply_get_report(std::uint32_t id, std::uint16_t err);
    void reply_set_report(std::uint32_t id, std::uint16_t err);

  private:
    void write_event(const uhid_event& ev);

    UniqueFd fd_;
    bool created_ = false;
};

}  // namespace guest
