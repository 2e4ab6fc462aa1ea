// What the binding assumes of the system's headers, checked when each tree is built: the
// records it fills through its own types, and each entry's type, calling convention included.
// A 32-bit mistake here (a missing WINAPI, a record laid out otherwise) would pass every
// 64-bit build and then break every call on a user's machine.
#include <windows.h>
// After windows.h, which they need.
#include <setupapi.h>
extern "C" {  // this header of the platform leaves out the C++ guard its siblings have
#include <hidsdi.h>
}

#include <cstddef>
#include <type_traits>

#include "hid/windows/WinHidLibrary.h"

namespace {

// cbSize must equal the header's size: 5 at 32 bits (packed), 8 at 64.
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (sizeof(void*) == 4 ? 5 : 8));
static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) == sizeof(DWORD));

static_assert(sizeof(HIDD_ATTRIBUTES) == 12 && sizeof(HidAttributes) == sizeof(HIDD_ATTRIBUTES));
static_assert(offsetof(HidAttributes, Size) == offsetof(HIDD_ATTRIBUTES, Size));
static_assert(offsetof(HidAttributes, VendorID) == offsetof(HIDD_ATTRIBUTES, VendorID));
static_assert(offsetof(HidAttributes, ProductID) == offsetof(HIDD_ATTRIBUTES, ProductID));
static_assert(offsetof(HidAttributes, VersionNumber) == offsetof(HIDD_ATTRIBUTES, VersionNumber));

static_assert(sizeof(HidCaps) == sizeof(HIDP_CAPS));
static_assert(offsetof(HidCaps, Usage) == offsetof(HIDP_CAPS, Usage));
static_assert(offsetof(HidCaps, UsagePage) == offsetof(HIDP_CAPS, UsagePage));
static_assert(offsetof(HidCaps, InputReportByteLength) ==
              offsetof(HIDP_CAPS, InputReportByteLength));
static_assert(offsetof(HidCaps, OutputReportByteLength) ==
              offsetof(HIDP_CAPS, OutputReportByteLength));
static_assert(offsetof(HidCaps, FeatureReportByteLength) ==
              offsetof(HIDP_CAPS, FeatureReportByteLength));

// A system declaration's pointer type with the HID records replaced by the binding's own.
template <typename T>
struct Ours {
    using type = T;
};
template <>
struct Ours<PHIDD_ATTRIBUTES> {
    using type = HidAttributes*;
};
template <>
struct Ours<PHIDP_CAPS> {
    using type = HidCaps*;
};
template <>
struct Ours<PHIDP_PREPARSED_DATA> {
    using type = void*;
};
template <>
struct Ours<PHIDP_PREPARSED_DATA*> {
    using type = void**;
};
template <typename Fn>
struct Bound;
// Only stdcall declarations match at 32 bits: a cdecl one leaves Bound undefined.
template <typename R, typename... Args>
struct Bound<R(WINAPI*)(Args...)> {
    using type = R(WINAPI*)(typename Ours<Args>::type...);
};
template <auto& declared, typename Member>
constexpr bool kSame = std::is_same_v<typename Bound<decltype(&declared)>::type, Member>;

using L = WinHidLibrary;
static_assert(kSame<::SetupDiGetClassDevsA, decltype(L::SetupDiGetClassDevsA)>);
static_assert(kSame<::SetupDiEnumDeviceInterfaces, decltype(L::SetupDiEnumDeviceInterfaces)>);
static_assert(
    kSame<::SetupDiGetDeviceInterfaceDetailA, decltype(L::SetupDiGetDeviceInterfaceDetailA)>);
static_assert(kSame<::SetupDiDestroyDeviceInfoList, decltype(L::SetupDiDestroyDeviceInfoList)>);
static_assert(
    kSame<::SetupDiGetDeviceRegistryPropertyA, decltype(L::SetupDiGetDeviceRegistryPropertyA)>);
static_assert(kSame<::HidD_GetHidGuid, decltype(L::HidD_GetHidGuid)>);
static_assert(kSame<::HidD_GetAttributes, decltype(L::HidD_GetAttributes)>);
static_assert(kSame<::HidD_GetPreparsedData, decltype(L::HidD_GetPreparsedData)>);
static_assert(kSame<::HidD_FreePreparsedData, decltype(L::HidD_FreePreparsedData)>);
static_assert(kSame<::HidD_SetNumInputBuffers, decltype(L::HidD_SetNumInputBuffers)>);
static_assert(kSame<::HidP_GetCaps, decltype(L::HidP_GetCaps)>);

}  // namespace
