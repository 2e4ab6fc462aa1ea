#pragma once
// What --simulate=SETTINGS asks for: the emulated firmware's settings (the text that
// sim::parse_settings reads) plus the keys only the command line knows, such as a delay
// before the device is plugged in.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "sim/EmulatedDeviceSettings.h"

namespace vellox::cli {

struct SimulationSetup {
    sim::EmulatedDeviceSettings firmware;
    // The emulated device is plugged in this long after start (0: present from the start).
    std::chrono::milliseconds plug_after{0};
};

struct ParsedSimulation {
    std::optional<SimulationSetup> setup;
    std::string error;
};

ParsedSimulation parse_simulation(std::string_view text);

}  // namespace vellox::cli
