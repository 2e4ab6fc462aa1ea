#pragma once
// Plain data the platform reports about one HID interface, laid out as the Windows HID
// service reports it so that a Windows backend can fill it directly.

#include <array>
#include <cstdint>

// Identity of the interface (HIDD_ATTRIBUTES).
struct HidAttributes {
    std::uint32_t Size = 0;
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t VersionNumber = 0;
};

// Capabilities of the interface (HIDP_CAPS, 64 bytes). The report lengths count the report-ID
// byte, so a device with 64-byte reports and no report IDs has lengths of 65.
struct HidCaps {
    std::uint16_t Usage = 0;
    std::uint16_t UsagePage = 0;
    std::uint16_t InputReportByteLength = 0;
    std::uint16_t OutputReportByteLength = 0;
    std::uint16_t FeatureReportByteLength = 0;
    std::array<std::uint16_t, 17> Reserved{};
    std::uint16_t NumberLinkCollectionNodes = 0;
    std::uint16_t NumberInputButtonCaps = 0;
    std::uint16_t NumberInputValueCaps = 0;
    std::uint16_t NumberInputDataIndices = 0;
    std::uint16_t NumberOutputButtonCaps = 0;
    std::uint16_t NumberOutputValueCaps = 0;
    std::uint16_t NumberOutputDataIndices = 0;
    std::uint16_t NumberFeatureButtonCaps = 0;
    std::uint16_t NumberFeatureValueCaps = 0;
    std::uint16_t NumberFeatureDataIndices = 0;
};
static_assert(sizeof(HidCaps) == 64);

// What the platform keeps of a parsed report descriptor (the "preparsed data").
struct HidPreparsedData {
    HidCaps Caps;
    bool NumberedReports = false;  // the descriptor declares report IDs
};

// A 16-byte interface class identifier.
using HidGuidBytes = std::array<std::uint8_t, 16>;
// {4D1E55B2-F16F-11CF-88CB-001111000030}, the published HID interface class.
inline constexpr HidGuidBytes kHidInterfaceClassGuid = {
    0xB2, 0x55, 0x1E, 0x4D, 0x6F, 0xF1, 0xCF, 0x11, 0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30};
