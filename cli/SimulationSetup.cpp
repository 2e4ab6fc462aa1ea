#include "cli/SimulationSetup.h"

namespace vellox::cli {

ParsedSimulation parse_simulation(std::string_view text) {
    std::string firmware_text;
    std::optional<std::chrono::nanoseconds> plug_after;
    constexpr std::string_view plug_key = "plug-after=";

    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        std::string_view item = text.substr(start, comma - start);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        if (item.starts_with(plug_key)) {
            // The firmware parser already reads durations; borrow it rather than keep a second
            // grammar for them.
            const std::string_view value = item.substr(plug_key.size());
            sim::ParsedSettings parsed = sim::parse_settings("latency=" + std::string(value));
            if (!parsed) {
                return {std::nullopt, "plug-after: expected a duration such as 500ms, got '" +
                                          std::string(value) + "'"};
            }
            plug_after = parsed.settings->latency;
        } else if (!item.empty()) {
            if (!firmware_text.empty()) firmware_text += ',';
            firmware_text += item;
        }
        start = comma + 1;
    }

    sim::ParsedSettings parsed = sim::parse_settings(firmware_text);
    if (!parsed) return {std::nullopt, parsed.error};
    SimulationSetup setup{*parsed.settings, {}};
    if (plug_after) {
        setup.plug_after = std::chrono::ceil<std::chrono::milliseconds>(*plug_after);
    }
    return {setup, {}};
}

}  // namespace vellox::cli
