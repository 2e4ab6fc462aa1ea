#include "hid/linux/LinuxHotplugMonitor.h"

#include <linux/netlink.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

// Netlink multicast groups of NETLINK_KOBJECT_UEVENT.
constexpr unsigned kKernelGroup = 1;
constexpr unsigned kUdevGroup = 2;

bool udev_running() { return ::access("/run/udev/control", F_OK) == 0; }

}  // namespace

LinuxHotplugMonitor::LinuxHotplugMonitor(Source source, std::chrono::milliseconds retry_interval,
                                         int retries)
    : retry_interval_(retry_interval), retries_(retries), retries_left_(retries) {
    epoll_ = UniqueFd(::epoll_create1(EPOLL_CLOEXEC));
    if (!epoll_.valid()) return;

    if (source == Source::Automatic) source = udev_running() ? Source::Udev : Source::Kernel;
    if (source != Source::None) {
        UniqueFd sock(
            ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT));
        sockaddr_nl address{};
        address.nl_family = AF_NETLINK;
        address.nl_groups = source == Source::Udev ? kUdevGroup : kKernelGroup;
        if (sock.valid() &&
            ::bind(sock.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            uevents_ = std::move(sock);
        }
    }
    timer_ = UniqueFd(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK));
    requests_ = UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    for (const UniqueFd* fd : {&uevents_, &timer_, &requests_}) {
        if (!fd->valid()) continue;
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd->get();
        ::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd->get(), &event);
    }
}

bool LinuxHotplugMonitor::is_hidraw_event(std::span<const char> message) {
    // Both formats carry NUL-separated KEY=VALUE properties (udev's after a binary header).
    constexpr std::string_view wanted = "SUBSYSTEM=hidraw";
    std::size_t start = 0;
    while (start < message.size()) {
        std::size_t end = start;
        while (end < message.size() && message[end] != '\0') ++end;
        if (std::string_view(message.data() + start, end - start) == wanted) return true;
        start = end + 1;
    }
    return false;
}

bool LinuxHotplugMonitor::take() {
    bool due = false;
    if (uevents_.valid()) {
        std::vector<char> buffer(8192);
        for (;;) {
            const ssize_t n = ::recv(uevents_.get(), buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == ENOBUFS) {
                // The socket overflowed (a hub full of devices at once): events were lost,
                // maybe a hidraw one among them, so rescan anyway.
                due = true;
                retries_left_ = retries_;
                continue;
            }
            if (n <= 0) break;
            if (is_hidraw_event(
                    std::span<const char>(buffer.data(), static_cast<std::size_t>(n)))) {
                due = true;
                retries_left_ = retries_;
            }
        }
    }
    if (timer_.valid()) {
        std::uint64_t expirations = 0;
        if (::read(timer_.get(), &expirations, sizeof expirations) == sizeof expirations &&
            expirations > 0) {
            timer_armed_ = false;
            --retries_left_;
            due = true;
        }
    }
    if (requests_.valid()) {
        std::uint64_t count = 0;
        if (::read(requests_.get(), &count, sizeof count) == sizeof count && count > 0) {
            due = true;
        }
    }
    return due;
}

void LinuxHotplugMonitor::request_rescan() {
    if (!requests_.valid()) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(requests_.get(), &one, sizeof one);
}

void LinuxHotplugMonitor::arm_retry() {
    if (!timer_.valid() || retries_left_ <= 0 || timer_armed_.exchange(true)) return;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(retry_interval_).count();
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
    when.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
    if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0) when.it_value.tv_nsec = 1;
    if (::timerfd_settime(timer_.get(), 0, &when, nullptr) != 0) timer_armed_ = false;
}
