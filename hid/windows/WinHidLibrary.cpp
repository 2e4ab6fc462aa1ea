#include "hid/windows/WinHidLibrary.h"

#include "hid/windows/SystemLibrary.h"

namespace {

HMODULE load(const std::string& file, const wchar_t* system_name) {
    if (!file.empty()) return ::LoadLibraryExA(file.c_str(), nullptr, 0);
    return vellox::windows::load_system_library(system_name);
}

// Looks `name` up into `entry`; false when the library lacks it.
template <typename Fn>
bool find(HMODULE module, Fn& entry, const char* name) {
    entry = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return entry != nullptr;
}

std::string failure_text(const std::string& file, const char* system_name) {
    const DWORD error = ::GetLastError();
    return "cannot load " + (file.empty() ? std::string(system_name) : file) + ": " +
           vellox::windows::system_error_text(error);
}

}  // namespace

WinHidLibrary::WinHidLibrary(const WinHidLibraryFiles& files) : files_(files) {
    if (bind_setup() && !bind_hid()) unbind_setup();
}

WinHidLibrary::~WinHidLibrary() {
    unbind_hid();
    unbind_setup();
}

bool WinHidLibrary::bind_setup() {
    setup_ = load(files_.setupapi, L"setupapi.dll");
    if (setup_ == nullptr) {
        failure_ = failure_text(files_.setupapi, "setupapi.dll");
        return false;
    }
    const bool all =
        find(setup_, SetupDiGetClassDevsA, "SetupDiGetClassDevsA") &&
        find(setup_, SetupDiEnumDeviceInterfaces, "SetupDiEnumDeviceInterfaces") &&
        find(setup_, SetupDiGetDeviceInterfaceDetailA, "SetupDiGetDeviceInterfaceDetailA") &&
        find(setup_, SetupDiDestroyDeviceInfoList, "SetupDiDestroyDeviceInfoList") &&
        find(setup_, SetupDiGetDeviceRegistryPropertyA, "SetupDiGetDeviceRegistryPropertyA");
    if (!all) {
        failure_ = failure_text(files_.setupapi, "setupapi.dll");
        unbind_setup();
    }
    return all;
}

bool WinHidLibrary::bind_hid() {
    hid_ = load(files_.hid, L"hid.dll");
    if (hid_ == nullptr) {
        failure_ = failure_text(files_.hid, "hid.dll");
        return false;
    }
    const bool all = find(hid_, HidD_GetHidGuid, "HidD_GetHidGuid") &&
                     find(hid_, HidD_GetAttributes, "HidD_GetAttributes") &&
                     find(hid_, HidD_GetPreparsedData, "HidD_GetPreparsedData") &&
                     find(hid_, HidD_FreePreparsedData, "HidD_FreePreparsedData") &&
                     find(hid_, HidD_SetNumInputBuffers, "HidD_SetNumInputBuffers") &&
                     find(hid_, HidD_GetNumInputBuffers, "HidD_GetNumInputBuffers") &&
                     find(hid_, HidP_GetCaps, "HidP_GetCaps");
    if (!all) {
        failure_ = failure_text(files_.hid, "hid.dll");
        unbind_hid();
    }
    return all;
}

void WinHidLibrary::unbind_setup() {
    if (setup_ != nullptr) ::FreeLibrary(setup_);
    setup_ = nullptr;
    SetupDiGetClassDevsA = nullptr;
    SetupDiEnumDeviceInterfaces = nullptr;
    SetupDiGetDeviceInterfaceDetailA = nullptr;
    SetupDiDestroyDeviceInfoList = nullptr;
    SetupDiGetDeviceRegistryPropertyA = nullptr;
}

void WinHidLibrary::unbind_hid() {
    if (hid_ != nullptr) ::FreeLibrary(hid_);
    hid_ = nullptr;
    HidD_GetHidGuid = nullptr;
    HidD_GetAttributes = nullptr;
    HidD_GetPreparsedData = nullptr;
    HidD_FreePreparsedData = nullptr;
    HidD_SetNumInputBuffers = nullptr;
    HidD_GetNumInputBuffers = nullptr;
    HidP_GetCaps = nullptr;
}
