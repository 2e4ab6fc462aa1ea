// vellox-test-setupapi.dll: the few SetupApi entries the Windows HID backend calls, answering
// from a folder instead of the device tree. Each `*.dev` file in VELLOX_TEST_HID_DIR is one
// present HID device; its one line holds the device path and the DevInst number.

#define _SETUPAPI_  // we define these entries, so they must not be declared as imports
#include <windows.h>
// (after windows.h, which it needs)
#include <setupapi.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "StandinCommon.h"

namespace {

struct Device {
    std::string path;
    DWORD devinst = 0;
};

struct DeviceList {
    std::vector<Device> devices;
};

standin::Register<DeviceList> lists;

// Read once, when the list is made, as the real service takes a snapshot of the device tree.
std::vector<Device> present_devices() {
    std::vector<Device> found;
    const char* dir = std::getenv("VELLOX_TEST_HID_DIR");
    std::error_code ec;
    if (!dir) return found;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        if (entry.path().extension() == ".dev") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        Device device;
        // A file half written or gone meanwhile is simply not a device yet.
        if (std::ifstream(file) >> device.path >> device.devinst) found.push_back(device);
    }
    return found;
}

// The device an interface or devinfo record was filled in for: its Reserved field holds
// the device's place in the list plus one, so a zeroed record matches nothing.
const Device* device_at(HDEVINFO handle, ULONG_PTR reserved) {
    DeviceList* list = lists.find(handle);
    if (!list || reserved == 0 || reserved > list->devices.size()) return nullptr;
    return &list->devices[reserved - 1];
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// Copies a value out as the real call does: too small a buffer fails with 122 and says
// how much is needed.
BOOL give(std::span<const char> value, DWORD type, PDWORD regtype, PBYTE buffer, DWORD size,
          PDWORD required) {
    if (required) *required = static_cast<DWORD>(value.size());
    if (regtype) *regtype = type;
    if (!buffer || size < value.size()) return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, value.data(), value.size());
    return TRUE;
}

}  // namespace

extern "C" {

__declspec(dllexport) HDEVINFO WINAPI
    SetupDiGetClassDevsA(const GUID* class_guid, PCSTR, HWND, DWORD) {
    auto list = std::make_unique<DeviceList>();
    // Only the HID interface class has devices here; any other class is an empty list.
    if (class_guid && *class_guid == standin::hid_interface_guid) list->devices = present_devices();
    return lists.add(std::move(list));
}

__declspec(dllexport) BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
    return lists.remove(handle) ? TRUE : fail(ERROR_INVALID_HANDLE);
}

__declspec(dllexport) BOOL WINAPI
    SetupDiEnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA, const GUID* interface_guid,
                                DWORD index, PSP_DEVICE_INTERFACE_DATA data) {
    DeviceList* list = lists.find(handle);
    if (!list) return fail(ERROR_INVALID_HANDLE);
    if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return fail(ERROR_INVALID_USER_BUFFER);
    if (!interface_guid || *interface_guid != standin::hid_interface_guid ||
        index >= list->devices.size())
        return fail(ERROR_NO_MORE_ITEMS);
    data->InterfaceClassGuid = standin::hid_interface_guid;
    data->Flags = SPINT_ACTIVE;
    data->Reserved = index + 1;
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI
    SetupDiGetDeviceInterfaceDetailA(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data,
                                     PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                     PDWORD required, PSP_DEVINFO_DATA devinfo) {
    // The cbSize callers must set: 5 on 32-bit Windows, 8 on 64-bit.
    static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (sizeof(void*) == 4 ? 5 : 8));
    if (!lists.find(handle)) return fail(ERROR_INVALID_HANDLE);
    if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return fail(ERROR_INVALID_PARAMETER);
    const Device* device = device_at(handle, data->Reserved);
    if (!device) return fail(ERROR_INVALID_PARAMETER);
    if (devinfo && devinfo->cbSize != sizeof(SP_DEVINFO_DATA))
        return fail(ERROR_INVALID_USER_BUFFER);
    if (detail && detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return fail(ERROR_INVALID_USER_BUFFER);
    if (!detail && size != 0) return fail(ERROR_INVALID_USER_BUFFER);

    const DWORD needed = static_cast<DWORD>(
        offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + device->path.size() + 1);
    if (required) *required = needed;
    if (!detail || size < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(detail->DevicePath, device->path.c_str(), device->path.size() + 1);
    if (devinfo) {
        devinfo->ClassGuid = standin::hid_setup_class_guid;
        devinfo->DevInst = device->devinst;
        devinfo->Reserved = data->Reserved;
    }
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI
    SetupDiGetDeviceRegistryPropertyA(HDEVINFO handle, PSP_DEVINFO_DATA devinfo, DWORD property,
                                      PDWORD regtype, PBYTE buffer, DWORD size, PDWORD required) {
    if (!lists.find(handle)) return fail(ERROR_INVALID_HANDLE);
    if (!devinfo || devinfo->cbSize != sizeof(SP_DEVINFO_DATA) ||
        !device_at(handle, devinfo->Reserved))
        return fail(ERROR_INVALID_PARAMETER);
    // The literals' own terminating zero is part of each value (two for the multi-string).
    static constexpr char description[] = "Vellox test device";
    static constexpr char hardware_ids[] = "HID\\VID_FFFF&PID_2016\0";
    static constexpr char maker[] = "Vellox";
    static constexpr char setup_class[] = "HIDClass";
    switch (property) {
        case SPDRP_DEVICEDESC:
            return give(description, REG_SZ, regtype, buffer, size, required);
        case SPDRP_HARDWAREID:
            return give(hardware_ids, REG_MULTI_SZ, regtype, buffer, size, required);
        case SPDRP_MFG:
            return give(maker, REG_SZ, regtype, buffer, size, required);
        case SPDRP_CLASS:
            return give(setup_class, REG_SZ, regtype, buffer, size, required);
        default:
            return fail(ERROR_INVALID_DATA);
    }
}

}  // extern "C"
