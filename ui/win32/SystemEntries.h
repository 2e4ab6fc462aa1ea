#pragma once
// The few entries of UxTheme.dll and WINMM.dll the window uses, bound at run time from the
// system folder. Neither is a protected system library: imported, a copy planted beside the
// program (the zip's folder) would be loaded first. Where a library or entry is missing, the
// call does nothing and reports failure.

#include <windows.h>

namespace vellox::win32 {

// UxTheme's SetWindowTheme.
bool SetWindowThemeFromSystem(HWND window, const wchar_t* app, const wchar_t* list);
// WINMM's timeBeginPeriod and timeEndPeriod.
bool TimeBeginPeriodFromSystem(UINT period);
bool TimeEndPeriodFromSystem(UINT period);

}  // namespace vellox::win32
