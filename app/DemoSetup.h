#pragma once
// What both windows' demos share: their command line and their emulated device.
//
//   vellox-demo [--plug-after=MS] [--device=SETTINGS] [--download=FILE [--download-after=MS]]
//
// SETTINGS is the emulated device's text form (as vellox-cli --simulate takes it), applied
// over the demo's device. --download presses Download by itself MS milliseconds after the
// device information has arrived and answers the file dialog with FILE (for screenshots and
// tests).

#include <string>

#include "sim/EmulatedDeviceSettings.h"

namespace vellox::demo {

struct DemoOptions {
    int plugAfterMs = 1000;
    sim::EmulatedDeviceSettings device;
    std::string download;  // UTF-8
    int downloadAfterMs = 1500;
};

// The options, or an error text (usage included) to print before exiting with code 2.
struct ParsedDemoOptions {
    DemoOptions options;
    std::string error;
    explicit operator bool() const { return error.empty(); }
};
ParsedDemoOptions parse_demo_options(int argc, const char* const* argv);

}  // namespace vellox::demo
