// HidChangeSignal on Windows: an auto-reset event, waited on with the thread's messages.
#include <windows.h>

#include <algorithm>

#include "hid/HidChangeSignal.h"

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
