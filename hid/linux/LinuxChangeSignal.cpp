// HidChangeSignal on Linux: an eventfd, waited on with poll.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "hid/HidChangeSignal.h"

HidChangeSignal::HidChangeSignal() {
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd >= 0) waitable_ = fd;
}

HidChangeSignal::~HidChangeSignal() {
    if (waitable_ != NoHidWaitable) ::close(static_cast<int>(waitable_));
}

void HidChangeSignal::raise() {
    if (waitable_ == NoHidWaitable) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(static_cast<int>(waitable_), &one, sizeof one);
}

bool HidChangeSignal::take() {
    std::uint64_t count = 0;
    return waitable_ != NoHidWaitable &&
           ::read(static_cast<int>(waitable_), &count, sizeof count) == sizeof count && count > 0;
}

bool hid_wait_signalled(HidWaitable waitable, std::chrono::milliseconds timeout) {
    if (waitable == NoHidWaitable) return false;
    pollfd p{static_cast<int>(waitable), POLLIN, 0};
    int n;
    do {
        n = ::poll(&p, 1, static_cast<int>(timeout.count()));
    } while (n < 0 && errno == EINTR);
    return n > 0 && (p.revents & (POLLIN | POLLERR | POLLHUP)) != 0;
}
