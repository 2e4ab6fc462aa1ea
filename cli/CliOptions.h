#pragma once
// The command line of vellox-cli: what it asks for, and the usage text.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli/SimulationSetup.h"

namespace vellox::cli {

enum class Command { None, List, Info, Download, Station };

struct CliOptions {
    Command command = Command::None;
    std::string image;                         // download IMAGE, station IMAGE
    std::optional<std::string> device;         // --device PATH
    std::optional<std::chrono::seconds> wait;  // --wait[=SECONDS]
    bool json = false;
    bool trace = false;
    std::optional<SimulationSetup> simulate;  // --simulate[=SETTINGS], for one device
    // The station's --simulate settings (an emulated bench of several devices), as given; the
    // station reads them itself.
    std::optional<std::string> station_simulate;
    std::optional<std::string> log;            // station --log FILE
    bool once_per_serial = false;              // station --once-per-serial
    std::optional<std::uint32_t> count;        // station --count N
    std::optional<std::string> simulate_dump;  // hidden: write the emulated flash here at exit
    bool help = false;
    bool version = false;
    // station --worker-deadline SECONDS
    std::optional<std::chrono::seconds> worker_deadline;
};

inline constexpr std::chrono::seconds default_wait{30};
// Longer waits than this are surely a typing error (and would overflow poll's milliseconds).
inline constexpr std::chrono::seconds max_wait{24 * 3600};
inline constexpr std::uint32_t max_station_count = 1000000;

struct ParsedCommandLine {
    std::optional<CliOptions> options;  // set when the command line was good
    std::string error;                  // otherwise one line saying what was wrong
};

// Reads the arguments after the program name. Options may come before or after the command.
ParsedCommandLine parse_command_line(std::span<const std::string> args);

// Short usage, shown after a usage error.
std::string usage_text();
// Full help: usage, options, exit codes and the settings of --simulate.
std::string help_text();

}  // namespace vellox::cli
