#pragma once
// Reading what sysfs tells about one hidraw interface. Every path starts from an injectable
// sysfs root so that tests can use a fake tree.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct HidrawInterface {
    std::string name;      // "hidraw3"
    std::string hid_dir;   // the HID device's directory (symbolic links resolved)
    std::string hid_name;  // its sysfs name, "0003:FFFF:2016.0007": the interface's identity
    std::map<std::string, std::string> uevent;  // HID_ID, HID_NAME, HID_PHYS, DRIVER, ...
};

// The hidraw interfaces under <sys_root>/class/hidraw, ordered by number; empty when the
// class directory is missing.
std::vector<std::string> list_hidraw_names(const std::string& sys_root);
// Empty when the interface or its HID device cannot be read.
std::optional<HidrawInterface> read_hidraw_interface(const std::string& sys_root,
                                                     const std::string& name);
// The KEY=VALUE lines of a sysfs uevent file; lines without '=' are skipped.
std::map<std::string, std::string> parse_uevent_text(const std::string& text);
// HID_ID "0003:0000FFFF:00002016" (bus, vendor, product in hexadecimal).
bool parse_hid_id(const std::string& value, std::uint16_t& vendor, std::uint16_t& product);
// bcdDevice of the USB device above the HID device, where there is one.
std::optional<std::uint16_t> usb_bcd_device(const std::string& sys_root,
                                            const std::string& hid_dir);
// A file of the USB device above the HID device ("manufacturer"), or empty.
std::string usb_device_attribute(const std::string& sys_root, const std::string& hid_dir,
                                 const std::string& attribute);
// Whole file contents, or empty when it cannot be read.
std::optional<std::string> read_sysfs_file(const std::string& path);
