#include "ui/win32/SystemEntries.h"

#include "hid/windows/SystemLibrary.h"

namespace vellox::win32 {
namespace {

// Loaded once and kept for the process's life, as an import would be.
template <typename Fn>
Fn Entry(const wchar_t* library, const char* name) {
    HMODULE module = vellox::windows::load_system_library(library);
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

using SetWindowThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
using TimePeriodFn = UINT(WINAPI*)(UINT);

}  // namespace

bool SetWindowThemeFromSystem(HWND window, const wchar_t* app, const wchar_t* list) {
    static const auto set = Entry<SetWindowThemeFn>(L"uxtheme.dll", "SetWindowTheme");
    return set != nullptr && SUCCEEDED(set(window, app, list));
}

bool TimeBeginPeriodFromSystem(UINT period) {
    static const auto begin = Entry<TimePeriodFn>(L"winmm.dll", "timeBeginPeriod");
    return begin != nullptr && begin(period) == 0;  // TIMERR_NOERROR
}

bool TimeEndPeriodFromSystem(UINT period) {
    static const auto end = Entry<TimePeriodFn>(L"winmm.dll", "timeEndPeriod");
    return end != nullptr && end(period) == 0;
}

}  // namespace vellox::win32
