#pragma once
// The plug-and-play record of one HID interface, filled once by the platform scan and never
// changed afterwards. Only InstanceId/DevInst and DevicePath take part in behaviour; the other
// fields are information (on Linux only the nearest equivalents are filled, the rest stay
// empty or 0).

#include <cstdint>
#include <string>
#include <vector>

struct THidPnPInfo {
    // Identity of the interface for as long as it is present; differs between interfaces and
    // between plugs (Linux: the sysfs name of the HID device, e.g. "0003:FFFF:2016.0007").
    std::string InstanceId;
    // Numeric form of the identity where the platform has one (Linux: the HID device's
    // sequence number, the hexadecimal part after the dot).
    std::uint32_t DevInst = 0;
    // What every open of the interface uses (Linux: "/dev/hidraw3").
    std::string DevicePath;

    std::uint32_t Capabilities = 0;
    std::string Class;
    std::string ClassGUID;
    std::vector<std::string> CompatibleIDs;
    std::uint32_t ConfigFlags = 0;
    std::string DeviceDesc;  // product name
    std::string Driver;
    std::string FriendlyName;
    std::vector<std::string> HardwareID;  // "HID\VID_FFFF&PID_2016"
    std::vector<std::string> LowerFilters;
    std::string Mfg;  // manufacturer
    std::vector<std::string> UpperFilters;
    std::string Address;
    std::uint32_t BusNumber = 0;
    std::string BusTypeGUID;
    std::string Characteristics;
    std::uint32_t DevType = 0;
    std::string EnumeratorName;
    std::uint32_t Exclusive = 0;
    std::uint32_t LegacyBusType = 0;
    std::string LocationInformation;
    std::string PhysicalDeviceObjectName;
    std::string SecuritySDS;
    std::string Service;
    std::uint32_t UINumber = 0;
    std::string UINumberDescFormat;
};
