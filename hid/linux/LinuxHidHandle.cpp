#include "hid/linux/LinuxHidHandle.h"

#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "hid/HidReportDescriptor.h"
#include "hid/linux/HidrawSysfs.h"

LinuxHidWaker::LinuxHidWaker() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

void LinuxHidWaker::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(fd_.get(), &one, sizeof one);
}

void LinuxHidWaker::drain() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto n = ::read(fd_.get(), &count, sizeof count);
}

LinuxHidHandle::LinuxHidHandle(UniqueFd fd, std::string sys_root, std::string name,
                               std::function<void()> on_hang_up)
    : fd_(std::move(fd)),
      sys_root_(std::move(sys_root)),
      name_(std::move(name)),
      on_hang_up_(std::move(on_hang_up)) {}

void LinuxHidHandle::hang_up() {
    pending_ = false;
    result_ok_ = false;
    if (hung_up_) return;
    hung_up_ = true;
    if (on_hang_up_) on_hang_up_();
}

bool LinuxHidHandle::get_attributes(HidAttributes& attributes) {
    if (const auto info = read_hidraw_interface(sys_root_, name_)) {
        const auto id = info->uevent.find("HID_ID");
        if (id != info->uevent.end() &&
            parse_hid_id(id->second, attributes.VendorID, attributes.ProductID)) {
            attributes.VersionNumber = usb_bcd_device(sys_root_, info->hid_dir).value_or(0);
            return true;
        }
    }
    hidraw_devinfo devinfo{};
    if (::ioctl(fd_.get(), HIDIOCGRAWINFO, &devinfo) == 0) {
        // The kernel's fields are signed 16-bit; the numbers are unsigned.
        attributes.VendorID = static_cast<std::uint16_t>(devinfo.vendor);
        attributes.ProductID = static_cast<std::uint16_t>(devinfo.product);
        attributes.VersionNumber = 0;
        return true;
    }
    hid_set_last_error(static_cast<std::uint32_t>(errno));
    return false;
}

std::optional<HidPreparsedData> LinuxHidHandle::get_preparsed_data() {
    std::optional<std::string> bytes;
    if (const auto info = read_hidraw_interface(sys_root_, name_)) {
        bytes = read_sysfs_file(info->hid_dir + "/report_descriptor");
    }
    if (!bytes) {
        int size = 0;
        hidraw_report_descriptor descriptor{};
        if (::ioctl(fd_.get(), HIDIOCGRDESCSIZE, &size) == 0 && size >= 0 &&
            size <= HID_MAX_DESCRIPTOR_SIZE) {
            descriptor.size = static_cast<std::uint32_t>(size);
            if (::ioctl(fd_.get(), HIDIOCGRDESC, &descriptor) == 0) {
                bytes =
                    std::string(reinterpret_cast<const char*>(descriptor.value), descriptor.size);
            }
        }
    }
    if (!bytes) {
        hid_set_last_error(static_cast<std::uint32_t>(errno));
        return std::nullopt;
    }
    auto parsed = parse_hid_report_descriptor(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
    if (!parsed) hid_set_last_error(EINVAL);
    return parsed;
}

bool LinuxHidHandle::write(std::span<const std::uint8_t> report, std::uint32_t& written) {
    written = 0;
    ssize_t n;
    do {
        n = ::write(fd_.get(), report.data(), report.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        hid_set_last_error(static_cast<std::uint32_t>(errno));
        return false;
    }
    written = static_cast<std::uint32_t>(n);
    return true;
}

bool LinuxHidHandle::start_read(std::span<std::uint8_t> buffer) {
    if (hung_up_) {
        hid_set_last_error(ENODEV);
        return false;
    }
    if (pending_) {
        hid_set_last_error(EBUSY);
        return false;
    }
    if (!numbered_) {
        const auto data = get_preparsed_data();
        numbered_ = data && data->NumberedReports;
    }
    buffer_ = buffer;
    pending_ = true;
    result_ok_ = false;
    bytes_ = 0;
    return true;
}

void LinuxHidHandle::read_now() {
    // hidraw hands out whole reports; one without a report ID gets a 0 in front.
    const std::size_t skip = *numbered_ || buffer_.empty() ? 0 : 1;
    if (skip == 1) buffer_[0] = 0;
    std::uint8_t scratch = 0;
    std::uint8_t* target = buffer_.size() > skip ? buffer_.data() + skip : &scratch;
    ssize_t n;
    do {
        n = ::read(fd_.get(), target, buffer_.size() - skip);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && errno == EAGAIN) return;  // nothing after all: keep waiting
    pending_ = false;
    if (n < 0) {
        // EIO / ENODEV once the device is gone.
        const int error = errno;
        hang_up();
        hid_set_last_error(static_cast<std::uint32_t>(error));
        return;
    }
    result_ok_ = true;
    bytes_ = static_cast<std::uint32_t>(n) + static_cast<std::uint32_t>(skip);
}

HidWaitResult LinuxHidHandle::wait_read(std::chrono::milliseconds timeout, HidWaker& waker) {
    auto* own_waker = dynamic_cast<LinuxHidWaker*>(&waker);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (pending_) {
        pollfd fds[2] = {{fd_.get(), POLLIN, 0}, {own_waker ? own_waker->fd() : -1, POLLIN, 0}};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int n = ::poll(fds, 2, static_cast<int>(std::max<std::int64_t>(0, left.count())));
        if (n < 0 && errno != EINTR) {
            // poll itself failed: end the read with an error rather than have the reading
            // thread call straight back in, spinning for as long as the failure lasts.
            hang_up();
            return HidWaitResult::Completed;
        }
        if (n <= 0) {
            if (std::chrono::steady_clock::now() >= deadline) return HidWaitResult::TimedOut;
            continue;
        }
        if (fds[0].revents & POLLIN) {
            read_now();
            if (!pending_) return HidWaitResult::Completed;
        } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // Unplugged: the read ends with an error, and the list wants a rescan, which
            // finds the interface gone (or no longer openable) and drops its record.
            hang_up();
            return HidWaitResult::Completed;
        }
        if (fds[1].revents & POLLIN) {
            own_waker->drain();
            return HidWaitResult::Woken;
        }
    }
    return HidWaitResult::Completed;
}

bool LinuxHidHandle::read_result(std::uint32_t& bytes) {
    bytes = 0;
    if (pending_ || !result_ok_) return false;
    bytes = bytes_;
    return true;
}

bool LinuxHidHandle::cancel_read() {
    const bool had = pending_;
    pending_ = false;
    result_ok_ = false;
    return had;
}
