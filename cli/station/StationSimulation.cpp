#include "cli/station/StationSimulation.h"

#include <charconv>

#include "cli/SimulationSetup.h"

namespace vellox::cli {
namespace {

std::optional<std::uint32_t> whole_number(std::string_view text, std::uint32_t low,
                                          std::uint32_t high) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

ParsedStationSimulation fail(std::string message) { return {std::nullopt, std::move(message)}; }

}  // namespace

ParsedStationSimulation parse_station_simulation(std::string_view text) {
    std::string shared;
    std::uint32_t device_count = 1;
    std::optional<std::uint32_t> plugs;
    std::string plug_every = "0";
    struct DeviceFault {
        std::uint32_t device;
        std::string fault;
    };
    std::vector<DeviceFault> faults;

    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        std::string_view item = text.substr(start, comma - start);
        start = comma + 1;
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        const std::size_t eq = item.find('=');
        const std::string_view key = item.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? "" : item.substr(eq + 1);

        if (key == "devices") {
            const auto n = whole_number(value, 1, max_simulated_devices);
            if (!n) {
                return fail("devices: expected 1 to " + std::to_string(max_simulated_devices) +
                            ", got '" + std::string(value) + "'");
            }
            device_count = *n;
        } else if (key == "plugs") {
            plugs = whole_number(value, 1, max_simulated_plugs);
            if (!plugs) {
                return fail("plugs: expected 1 to " + std::to_string(max_simulated_plugs) +
                            ", got '" + std::string(value) + "'");
            }
        } else if (key == "plug-every") {
            plug_every = value;
        } else if (key == "fault-on") {
            const std::size_t colon = value.find(':');
            const auto device = whole_number(value.substr(0, colon), 1, max_simulated_devices);
            if (!device || colon == std::string_view::npos || colon + 1 == value.size()) {
                return fail("fault-on: expected DEVICE:FAULT such as 3:wrong-verify-sum, got '" +
                            std::string(value) + "'");
            }
            faults.push_back({*device, std::string(value.substr(colon + 1))});
        } else if (!item.empty()) {
            if (!shared.empty()) shared += ',';
            shared += item;
        }
    }

    // The shared settings, and plug-every read as plug-after is: one grammar for durations.
    ParsedSimulation base = parse_simulation(shared);
    if (!base.setup) return fail(base.error);
    ParsedSimulation every = parse_simulation("plug-after=" + plug_every);
    if (!every.setup) {
        return fail("plug-every: expected a duration such as 1s, got '" + plug_every + "'");
    }

    StationSimulation simulation;
    simulation.plug_after = base.setup->plug_after;
    simulation.plug_every = every.setup->plug_after;
    simulation.plugs = plugs.value_or(device_count);
    const std::string serial_base = base.setup->firmware.serial_number;
    const bool serial_given = serial_base != sim::EmulatedDeviceSettings{}.serial_number;
    for (std::uint32_t k = 1; k <= device_count; ++k) {
        std::string own = shared;
        for (const DeviceFault& f : faults) {
            if (f.device == k) own += (own.empty() ? "fault=" : ",fault=") + f.fault;
        }
        ParsedSimulation parsed = parse_simulation(own);
        if (!parsed.setup) return fail("device " + std::to_string(k) + ": " + parsed.error);
        sim::EmulatedDeviceSettings settings = parsed.setup->firmware;
        std::string number = std::to_string(k);
        settings.serial_number = serial_given
                                     ? serial_base + "-" + number
                                     : "VX2016-" + std::string(6 - number.size(), '0') + number;
        simulation.devices.push_back(std::move(settings));
    }
    for (const DeviceFault& f : faults) {
        if (f.device > device_count) {
            return fail("fault-on: there is no device " + std::to_string(f.device) + " of " +
                        std::to_string(device_count));
        }
    }
    return {std::move(simulation), {}};
}

}  // namespace vellox::cli
