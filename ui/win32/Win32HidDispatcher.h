#pragma once
// The handoff from reading threads to the window's thread on Win32: each wake posts one
// message to a message-only window of the thread that created the dispatcher, whose handler
// runs every pending delivery. Create it on the window's thread, before the controller, and
// destroy it after every device record.

#include <windows.h>

#include <cstddef>

#include "hid/HidDispatcher.h"

namespace vellox::win32 {

class Win32HidDispatcher : public HidDispatcher {
  public:
    Win32HidDispatcher();
    ~Win32HidDispatcher() override;

    // Deliveries run from the message loop so far.
    std::size_t delivered() const { return delivered_; }

  protected:
    void wake() override;

  private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l);

    HWND window_ = nullptr;
    std::size_t delivered_ = 0;
};

}  // namespace vellox::win32
