#include "ui/win32/Win32Ticker.h"

#include "ui/win32/SystemEntries.h"

namespace vellox::win32 {

Win32Ticker::Win32Ticker(HWND window, UINT message, std::chrono::milliseconds interval)
    : window_(window),
      message_(message),
      interval_(interval),
      stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    // Waits end within a millisecond of their time while this is in force.
    TimeBeginPeriodFromSystem(1);
    thread_ = std::thread([this] { Run(); });
}

Win32Ticker::~Win32Ticker() {
    ::SetEvent(stop_);
    thread_.join();
    ::CloseHandle(stop_);
    TimeEndPeriodFromSystem(1);
}

void Win32Ticker::Run() {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + interval_;
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const DWORD wait = left > 0 ? static_cast<DWORD>(left) : 0;
        if (::WaitForSingleObject(stop_, wait) == WAIT_OBJECT_0) return;
        if (Clock::now() < deadline) continue;
        // A post that fails (a full queue) must not leave the flag set: no tick would ever
        // be posted again.
        if (!pending_.exchange(true) && !::PostMessageW(window_, message_, 0, 0)) {
            pending_.store(false);
        }
        deadline += interval_;
        // After a stall (a modal loop, a busy machine), carry on from now rather than firing
        // the missed ticks in a burst.
        if (deadline < Clock::now()) deadline = Clock::now() + interval_;
    }
}

}  // namespace vellox::win32
