#include "ui/win32/Win32HidDispatcher.h"

#include "ui/win32/CallbackBoundary.h"

namespace vellox::win32 {
namespace {

constexpr wchar_t kClassName[] = L"VelloxHidDispatcher";
constexpr UINT kRunPending = WM_APP + 1;

}  // namespace

Win32HidDispatcher::Win32HidDispatcher() {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = &Win32HidDispatcher::WindowProcedure;
    cls.hInstance = ::GetModuleHandleW(nullptr);
    cls.lpszClassName = kClassName;
    ::RegisterClassExW(&cls);  // a second dispatcher finds it registered
    window_ = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                cls.hInstance, nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32HidDispatcher::~Win32HidDispatcher() {
    if (window_ != nullptr) ::DestroyWindow(window_);
}

void Win32HidDispatcher::wake() {
    // Posted, never sent: the reading thread waits for its handoff in the dispatcher.
    ::PostMessageW(window_, kRunPending, 0, 0);
}

LRESULT CALLBACK Win32HidDispatcher::WindowProcedure(HWND window, UINT message, WPARAM w,
                                                     LPARAM l) {
    if (message == kRunPending) {
        auto* self =
            reinterpret_cast<Win32HidDispatcher*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self == nullptr) return 0;
        // The reports run the engines' handlers.
        return CatchAtBoundary(LRESULT{0}, [&] {
            self->delivered_ += self->run_pending();
            return LRESULT{0};
        });
    }
    return ::DefWindowProcW(window, message, w, l);
}

}  // namespace vellox::win32
