// The Linux backend's readers of kernel text: uevent datagrams from the netlink socket (kernel
// and udev formats), a sysfs uevent file, and the HID_ID value in it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "hid/linux/HidrawSysfs.h"
#include "hid/linux/LinuxHotplugMonitor.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "uevent fuzz invariant broken: %s\n", what);
    std::abort();
}

// Whether one of the NUL-separated fields is exactly SUBSYSTEM=hidraw, read another way.
bool names_hidraw(std::string_view message) {
    std::string padded;
    padded.reserve(message.size() + 2);
    padded += '\0';
    padded += message;
    padded += '\0';
    return padded.find(std::string_view("\0SUBSYSTEM=hidraw\0", 18)) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    // The datagram as it comes off the socket: exactly `size` bytes, no terminator after it.
    const std::span<const char> message(reinterpret_cast<const char*>(data), size);
    if (LinuxHotplugMonitor::is_hidraw_event(message) != names_hidraw(text)) {
        fail("is_hidraw_event disagrees with a plain search");
    }

    const auto properties = parse_uevent_text(text);
    for (const auto& [key, value] : properties) {
        if (key.find('=') != std::string::npos || key.find('\n') != std::string::npos) {
            fail("a key holds '=' or a line break");
        }
        if (value.find('\n') != std::string::npos) fail("a value holds a line break");
        if (!value.empty() && (value.back() == '\r' || value.back() == ' ')) {
            fail("a value keeps trailing blanks");
        }
        if (text.find(key + "=") == std::string::npos) fail("a key that is not in the text");
    }

    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    if (parse_hid_id(text, vendor, product)) {
        // Accepted only with its two separators in place.
        if (std::count(text.begin(), text.end(), ':') < 2) fail("HID_ID without two ':'");
    }
    const auto id = properties.find("HID_ID");
    if (id != properties.end()) parse_hid_id(id->second, vendor, product);
    return 0;
}
