#pragma once
// A waitable flag that any thread may raise and the user-interface thread's loop waits on:
// an eventfd on Linux, an auto-reset event on Windows. Backends raise one when HID interfaces
// may have come or gone, and hand its waitable out through device_change_waitable().

#include <chrono>
#include <cstdint>

// A file descriptor (Linux) or an object HANDLE (Windows), for the host's loop to wait on.
using HidWaitable = std::intptr_t;
inline constexpr HidWaitable NoHidWaitable = -1;

class HidChangeSignal {
  public:
    HidChangeSignal();
    ~HidChangeSignal();
    HidChangeSignal(const HidChangeSignal&) = delete;
    HidChangeSignal& operator=(const HidChangeSignal&) = delete;

    // Raises the flag; any thread.
    void raise();
    // Lowers the flag; true when it was raised.
    bool take();
    HidWaitable waitable() const { return waitable_; }

  private:
    HidWaitable waitable_ = NoHidWaitable;
};

// Waits until `waitable` is signalled (true) or `timeout` passes (false). On Windows the
// calling thread's window messages are dispatched meanwhile, since device changes arrive as a
// window message there. Does not consume the signal.
bool hid_wait_signalled(HidWaitable waitable, std::chrono::milliseconds timeout);
