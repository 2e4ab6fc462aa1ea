#pragma once
// The station's emulated bench (--simulate for station): several emulated devices that plug in
// at intervals, some with faults. The station plugs and unplugs them on its virtual backend;
// each worker runs the one device it flashes, with that device's settings, through the same
// engines as any download.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/EmulatedDeviceSettings.h"

namespace vellox::cli {

struct StationSimulation {
    // Per device, faults and serial number applied.
    std::vector<sim::EmulatedDeviceSettings> devices;
    std::chrono::milliseconds plug_after{0};  // before the first plug
    std::chrono::milliseconds plug_every{0};  // between plugs
    std::uint32_t plugs = 0;                  // plugs in all, the devices in turn

    // The device of plug `index` (from 0).
    std::size_t device_of_plug(std::uint32_t index) const { return index % devices.size(); }
};

struct ParsedStationSimulation {
    std::optional<StationSimulation> simulation;
    std::string error;
};

inline constexpr std::uint32_t max_simulated_devices = 64;
inline constexpr std::uint32_t max_simulated_plugs = 100000;

// Reads devices=N, plug-every=DURATION, plugs=M and fault-on=K:FAULT[:COUNT]; every other item
// is an emulated device's setting (as --simulate takes them, plug-after included) shared by
// all devices.
ParsedStationSimulation parse_station_simulation(std::string_view text);

}  // namespace vellox::cli
