#pragma once
// A 10 ms tick for Timer1 and Timer2. WM_TIMER follows the system's timer resolution (about
// 15.6 ms by default), too coarse for a 10 ms interval; this thread keeps deadlines on the
// steady clock and posts one message per tick, at most one waiting at a time, as WM_TIMER
// coalesces.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace vellox::win32 {

class Win32Ticker {
  public:
    // Posts `message` to `window` every `interval` until destroyed.
    Win32Ticker(HWND window, UINT message, std::chrono::milliseconds interval);
    ~Win32Ticker();
    Win32Ticker(const Win32Ticker&) = delete;
    Win32Ticker& operator=(const Win32Ticker&) = delete;

    // The window handled the tick; the next one may be posted.
    void handled() { pending_.store(false); }

  private:
    void Run();

    HWND window_;
    UINT message_;
    std::chrono::milliseconds interval_;
    HANDLE stop_;
    std::atomic<bool> pending_{false};
    std::thread thread_;
};

}  // namespace vellox::win32
