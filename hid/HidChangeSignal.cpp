#include "hid/HidChangeSignal.h"

#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#else
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#endif

#ifdef _WIN32

namespace {
HANDLE as_handle(HidWaitable w) { return reinterpret_cast<HANDLE>(w); }
}  // namespace

HidChangeSignal::HidChangeSignal() {
    if (HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        waitable_ = reinterpret_cast<HidWaitable>(event);
    }
}

HidChangeSignal::~HidChangeSignal() {
    if (waitable_ != NoHidWaitable) ::CloseHandle(as_handle(waitable_));
}

void HidChangeSignal::raise() {
    if (waitable_ != NoHidWaitable) ::SetEvent(as_handle(waitable_));
}

bool HidChangeSignal::take() {
    return waitable_ != NoHidWaitable &&
           ::WaitForSingleObject(as_handle(waitable_), 0) == WAIT_OBJECT_0;
}

bool hid_wait_signalled(HidWaitable waitable, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const DWORD ms = static_cast<DWORD>(std::max<std::int64_t>(0, left.count()));
        HANDLE handle = as_handle(waitable);
        const DWORD count = waitable == NoHidWaitable ? 0 : 1;
        const DWORD r = ::MsgWaitForMultipleObjects(count, &handle, FALSE, ms, QS_ALLINPUT);
        if (count == 1 && r == WAIT_OBJECT_0) {
            // Auto-reset: put the signal back for the caller to take.
            ::SetEvent(handle);
            return true;
        }
        if (r == WAIT_OBJECT_0 + count) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            continue;
        }
        if (r == WAIT_TIMEOUT || r == WAIT_FAILED) return false;
    }
}

#else

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

#endif
