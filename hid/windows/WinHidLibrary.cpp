#include "hid/windows/WinHidLibrary.h"

namespace {

HMODULE load(const std::string& file, const char* system_name) {
    if (!file.empty()) return ::LoadLibraryExA(file.c_str(), nullptr, 0);
    return ::LoadLibraryExA(system_name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Looks `name` up into `entry`; false when the library lacks it.
template <typename Fn>
bool find(HMODULE module, Fn& entry, const char* name) {
    entry = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return entry != nullptr;
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
    setup_ = load(files_.setupapi, "setupapi.dll");
    if (setup_ == nullptr) return false;
    const bool all =
        find(setup_, SetupDiGetClassDevsA, "SetupDiGetClassDevsA") &&
        find(setup_, SetupDiEnumDeviceInterfaces, "SetupDiEnumDeviceInterfaces") &&
        find(setup_, SetupDiGetDeviceInterfaceDetailA, "SetupDiGetDeviceInterfaceDetailA") &&
        find(setup_, SetupDiDestroyDeviceInfoList, "SetupDiDestroyDeviceInfoList") &&
        find(setup_, SetupDiGetDeviceRegistryPropertyA, "SetupDiGetDeviceRegistryPropertyA");
    if (!all) unbind_setup();
    return all;
}

bool WinHidLibrary::bind_hid() {
    hid_ = load(files_.hid, "hid.dll");
    if (hid_ == nullptr) return false;
    const bool all = find(hid_, HidD_GetHidGuid, "HidD_GetHidGuid") &&
                     find(hid_, HidD_GetAttributes, "HidD_GetAttributes") &&
                     find(hid_, HidD_GetPreparsedData, "HidD_GetPreparsedData") &&
                     find(hid_, HidD_FreePreparsedData, "HidD_FreePreparsedData") &&
                     find(hid_, HidD_SetNumInputBuffers, "HidD_SetNumInputBuffers") &&
                     find(hid_, HidD_GetNumInputBuffers, "HidD_GetNumInputBuffers") &&
                     find(hid_, HidP_GetCaps, "HidP_GetCaps");
    if (!all) unbind_hid();
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
