#pragma once
// The run-time binding of the platform's setup library (SetupApi.dll) and HID library
// (HID.dll): loaded when the platform is created, every entry we call looked up, all or
// nothing; freed again at destruction, the HID library first. A missing library or entry
// leaves the binding unloaded, with failure() saying which library and the system's error.
//
// Both load from the system folder only: a search by bare name would try the program's folder
// and the current folder first, where a planted HID.dll beside an image file would run inside
// the flasher.

#include <windows.h>
// After windows.h, which it needs.
#include <setupapi.h>

#include <string>

#include "hid/HidTypes.h"

// Files to load instead of the system's libraries. Empty (the product's only use) means the
// system folder; tests name stand-ins of their own.
struct WinHidLibraryFiles {
    std::string setupapi;
    std::string hid;
};

class WinHidLibrary {
  public:
    explicit WinHidLibrary(const WinHidLibraryFiles& files = {});
    ~WinHidLibrary();
    WinHidLibrary(const WinHidLibrary&) = delete;
    WinHidLibrary& operator=(const WinHidLibrary&) = delete;

    // Both libraries and every entry below are there.
    bool loaded() const { return hid_ != nullptr; }
    // Why the binding is not loaded, in one line; empty when it is.
    const std::string& failure() const { return failure_; }

    // Setup library.
    HDEVINFO(WINAPI* SetupDiGetClassDevsA)(const GUID*, PCSTR, HWND, DWORD) = nullptr;
    BOOL(WINAPI* SetupDiEnumDeviceInterfaces)
    (HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD, PSP_DEVICE_INTERFACE_DATA) = nullptr;
    BOOL(WINAPI* SetupDiGetDeviceInterfaceDetailA)
    (HDEVINFO, PSP_DEVICE_INTERFACE_DATA, PSP_DEVICE_INTERFACE_DETAIL_DATA_A, DWORD, PDWORD,
     PSP_DEVINFO_DATA) = nullptr;
    BOOL(WINAPI* SetupDiDestroyDeviceInfoList)(HDEVINFO) = nullptr;
    BOOL(WINAPI* SetupDiGetDeviceRegistryPropertyA)
    (HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE, DWORD, PDWORD) = nullptr;

    // HID library. The attribute and capability records are laid out as HidAttributes and
    // HidCaps; the preparsed data is an opaque pointer.
    void(WINAPI* HidD_GetHidGuid)(GUID*) = nullptr;
    BOOLEAN(WINAPI* HidD_GetAttributes)(HANDLE, HidAttributes*) = nullptr;
    BOOLEAN(WINAPI* HidD_GetPreparsedData)(HANDLE, void**) = nullptr;
    BOOLEAN(WINAPI* HidD_FreePreparsedData)(void*) = nullptr;
    BOOLEAN(WINAPI* HidD_SetNumInputBuffers)(HANDLE, ULONG) = nullptr;
    BOOLEAN(WINAPI* HidD_GetNumInputBuffers)(HANDLE, PULONG) = nullptr;
    LONG(WINAPI* HidP_GetCaps)(void*, HidCaps*) = nullptr;

  private:
    bool bind_setup();
    bool bind_hid();
    void unbind_setup();
    void unbind_hid();

    WinHidLibraryFiles files_;
    std::string failure_;
    HMODULE setup_ = nullptr;
    HMODULE hid_ = nullptr;
};

// HIDP_STATUS_SUCCESS
inline constexpr LONG HidPStatusSuccess = 0x00110000;
