#include "app/DemoSetup.h"

#include <optional>
#include <string_view>

namespace vellox::demo {
namespace {

bool ParseInt(std::string_view text, int& out) {
    try {
        std::size_t used = 0;
        out = std::stoi(std::string(text), &used);
        return used == text.size() && out >= 0;
    } catch (...) {
        return false;
    }
}

// The demo's device: product "V201", 128 KiB, an erase slow enough to watch and a
// full-speed USB link.
sim::EmulatedDeviceSettings DemoDevice() {
    sim::EmulatedDeviceSettings s;
    s.product_id = "V201";
    s.capacity = 128 * 1024;
    s.hardware_version = "HW 2.0";
    s.application_version = "1.4.2";
    s.rf_version = "RF 3.1";
    s.icon_version = "IC 1.0";
    s.serial_number = "VX2016-DEMO-0001";
    s.erase_pace = std::chrono::milliseconds(150);
    s.erase_step = 10;
    s.interval = std::chrono::milliseconds(1);
    return s;
}

std::string Usage(const char* program) {
    return std::string("usage: ") + program +
           " [--plug-after=MS] [--device=SETTINGS] [--download=FILE [--download-after=MS]]\n" +
           sim::settings_help();
}

}  // namespace

ParsedDemoOptions parse_demo_options(int argc, const char* const* argv) {
    ParsedDemoOptions parsed;
    DemoOptions& o = parsed.options;
    o.device = DemoDevice();
    std::string device;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string_view key) -> std::optional<std::string_view> {
            if (arg.substr(0, key.size()) != key) return std::nullopt;
            return arg.substr(key.size());
        };
        bool ok = true;
        if (auto v = value("--plug-after=")) {
            ok = ParseInt(*v, o.plugAfterMs);
        } else if (auto v = value("--device=")) {
            device = *v;
        } else if (auto v = value("--download=")) {
            o.download = *v;
        } else if (auto v = value("--download-after=")) {
            ok = ParseInt(*v, o.downloadAfterMs);
        } else {
            ok = false;
        }
        if (!ok) {
            parsed.error = Usage(argv[0]);
            return parsed;
        }
    }
    if (!device.empty()) {
        // The text form starts from its own defaults; the demo's device is what it overrides.
        const sim::ParsedSettings settings =
            sim::parse_settings(sim::format_settings(o.device) + "," + device);
        if (!settings) {
            parsed.error = std::string(argv[0]) + ": " + settings.error + "\n";
            return parsed;
        }
        o.device = *settings.settings;
    }
    return parsed;
}

}  // namespace vellox::demo
