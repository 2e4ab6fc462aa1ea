#include "UhidDevice.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace guest {

std::span<const std::uint8_t> vellox_report_descriptor() {
    static constexpr std::array<std::uint8_t, 27> descriptor = {
        0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
        0x09, 0x01,        // Usage (1)
        0xA1, 0x01,        // Collection (Application)
        0x15, 0x00,        //   Logical Minimum (0)
        0x26, 0xFF, 0x00,  //   Logical Maximum (255)
        0x75, 0x08,        //   Report Size (8)
        0x95, 0x40,        //   Report Count (64)
        0x09, 0x01,        //   Usage (1)
        0x81, 0x02,        //   Input (Data, Variable, Absolute)
        0x95, 0x40,        //   Report Count (64)
        0x09, 0x01,        //   Usage (1)
        0x91, 0x02,        //   Output (Data, Variable, Absolute)
        0xC0,              // End Collection
    };
    return descriptor;
}

UhidDevice::UhidDevice(const char* path) : fd_(::open(path, O_RDWR | O_CLOEXEC | O_NONBLOCK)) {
    if (!fd_) throw std::system_error(errno, std::generic_category(), path);
}

void UhidDevice::write_event(const uhid_event& ev) {
    // uhid takes exactly one whole event per write.
    const ssize_t n = ::write(fd_.get(), &ev, sizeof ev);
    if (n < 0) throw std::system_error(errno, std::generic_category(), "write /dev/uhid");
    if (static_cast<std::size_t>(n) != sizeof ev)
        throw std::system_error(EIO, std::generic_category(), "short write to /dev/uhid");
}

void UhidDevice::create(const UhidIdentity& identity, std::span<const std::uint8_t> descriptor) {
    if (descriptor.size() > sizeof(uhid_event{}.u.create2.rd_data))
        throw std::system_error(EINVAL, std::generic_category(), "report descriptor too long");
    uhid_event ev{};
    ev.type = UHID_CREATE2;
    auto& c = ev.u.create2;
    std::strncpy(reinterpret_cast<char*>(c.name), identity.name.c_str(), sizeof c.name - 1);
    std::strncpy(reinterpret_cast<char*>(c.phys), "vellox-uhid", sizeof c.phys - 1);
    c.rd_size = static_cast<std::uint16_t>(descriptor.size());
    c.bus = identity.bus;
    c.vendor = identity.vendor;
    c.product = identity.product;
    c.version = identity.version;
    std::copy(descriptor.begin(), descriptor.end(), c.rd_data);
    write_event(ev);
    created_ = true;
}

void UhidDevice::destroy() {
    if (!created_) return;
    uhid_event ev{};
    ev.type = UHID_DESTROY;
    write_event(ev);
    created_ = false;
}

std::optional<uhid_event> UhidDevice::read_event() {
    uhid_event ev{};
    const ssize_t n = ::read(fd_.get(), &ev, sizeof ev);
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) return std::nullopt;
        throw std::system_error(errno, std::generic_category(), "read /dev/uhid");
    }
    return ev;
}

void UhidDevice::send_input(std::span<const std::uint8_t> data) {
    uhid_event ev{};
    ev.type = UHID_INPUT2;
    const auto size = std::min(data.size(), sizeof ev.u.input2.data);
    ev.u.input2.size = static_cast<std::uint16_t>(size);
    std::copy_n(data.begin(), size, ev.u.input2.data);
    write_event(ev);
}

void UhidDevice::reply_get_report(std::uint32_t id, std::uint16_t err) {
    uhid_event ev{};
    ev.type = UHID_GET_REPORT_REPLY;
    ev.u.get_report_reply.id = id;
    ev.u.get_report_reply.err = err;
    write_event(ev);
}

void UhidDevice::reply_set_report(std::uint32_t id, std::uint16_t err) {
    uhid_event ev{};
    ev.type = UHID_SET_REPORT_REPLY;
    ev.u.set_report_reply.id = id;
    ev.u.set_report_reply.err = err;
    write_event(ev);
}

}  // namespace guest
