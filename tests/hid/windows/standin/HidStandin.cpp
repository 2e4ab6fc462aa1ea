// vellox-test-hid.dll: the HID.dll entries the Windows HID backend calls, for devices served
// by vellox-pipe-device.exe. Any named-pipe handle counts as one of its devices; every other
// handle is not a HID device, as a file or a console is not one to the real HID.dll.

#include <windows.h>
extern "C" {  // this header of the platform leaves out the C++ guard its siblings have
#include <hidsdi.h>
}

#include <memory>

#include "StandinCommon.h"

// Opaque to callers; here it only has to be a distinct, checkable object.
struct _HIDP_PREPARSED_DATA {
    char unused = 0;
};

namespace {

standin::Register<_HIDP_PREPARSED_DATA> preparsed;

// The file type needs no access right, and the backend asks about handles opened without any
// (for queries only), which GetNamedPipeInfo may refuse.
bool is_device(HANDLE handle) {
    DWORD flags = 0;
    return GetNamedPipeInfo(handle, &flags, nullptr, nullptr, nullptr) ||
           GetFileType(handle) == FILE_TYPE_PIPE;
}

}  // namespace

extern "C" {

__declspec(dllexport) void WINAPI HidD_GetHidGuid(LPGUID guid) {
    *guid = standin::hid_interface_guid;
}

__declspec(dllexport) BOOLEAN WINAPI
    HidD_GetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
    if (!attributes || !is_device(handle)) return FALSE;
    attributes->Size = sizeof(HIDD_ATTRIBUTES);
    attributes->VendorID = 0xFFFF;
    attributes->ProductID = 0x2016;
    attributes->VersionNumber = 0x0100;
    return TRUE;
}

__declspec(dllexport) BOOLEAN WINAPI
    HidD_GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* data) {
    if (!data || !is_device(handle)) return FALSE;
    *data = preparsed.add(std::make_unique<_HIDP_PREPARSED_DATA>());
    return TRUE;
}

// The device server buffers up to 512 unread reports per handle, what the backend asks for.
__declspec(dllexport) BOOLEAN WINAPI HidD_SetNumInputBuffers(HANDLE handle, ULONG count) {
    return is_device(handle) && count >= 2 && count <= 512 ? TRUE : FALSE;
}

// Whatever was asked for, the device server's queue is the one that counts.
__declspec(dllexport) BOOLEAN WINAPI HidD_GetNumInputBuffers(HANDLE handle, PULONG count) {
    if (!count || !is_device(handle)) return FALSE;
    *count = 512;
    return TRUE;
}

__declspec(dllexport) BOOLEAN WINAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data) {
    return preparsed.remove(data) ? TRUE : FALSE;
}

__declspec(dllexport) NTSTATUS WINAPI HidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
    if (!preparsed.find(data)) return HIDP_STATUS_INVALID_PREPARSED_DATA;
    // One vendor-defined collection with one 64-byte report each way, plus the report-ID
    // byte Windows counts in the lengths.
    *caps = HIDP_CAPS{};
    caps->UsagePage = 0xFF00;
    caps->Usage = 1;
    caps->InputReportByteLength = 65;
    caps->OutputReportByteLength = 65;
    return HIDP_STATUS_SUCCESS;
}

}  // extern "C"
