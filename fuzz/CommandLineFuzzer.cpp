// The command line's options and the emulated device's settings text: anything is either
// accepted or refused with a message (on the terminal one line), never a crash. Settings that are
// accepted read back the same from their own text form.
//
// Input: the arguments separated by NUL bytes. Only refused command lines are run (to see the
// usage error): an accepted one would touch devices and write wherever --simulate-dump points.
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/SimulationSetup.h"
#include "cli/VelloxCli.h"
#include "sim/EmulatedDeviceSettings.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "command line fuzz invariant broken: %s: %s\n", what, detail.c_str());
    std::abort();
}

// Refusals of settings say why; the command line quotes them for the terminal.
void check_error(const std::string& error) {
    if (error.empty()) fail("refused without a message", error);
}

void check_settings(std::string_view text) {
    const sim::ParsedSettings parsed = sim::parse_settings(text);
    if (!parsed) return check_error(parsed.error);
    const std::string formatted = sim::format_settings(*parsed.settings);
    const sim::ParsedSettings again = sim::parse_settings(formatted);
    if (!again) fail("own text form refused", formatted + " -> " + again.error);
    if (sim::format_settings(*again.settings) != formatted)
        fail("text form does not read back", formatted);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    std::vector<std::string> args;
    std::size_t start = 0;
    // More arguments than any real command line has add nothing but time.
    while (start <= input.size() && args.size() < 16) {
        std::size_t end = input.find('\0', start);
        if (end == std::string::npos) end = input.size();
        args.push_back(input.substr(start, end - start));
        start = end + 1;
    }

    const vellox::cli::ParsedCommandLine parsed = vellox::cli::parse_command_line(args);
    if (!parsed.options) {
        if (parsed.error.empty()) fail("refused without a message", "");
        // What the user sees for it: one line without control characters, the usage, exit
        // code 2, nothing touched.
        std::ostringstream out;
        std::ostringstream err;
        const int code = vellox::cli::run_cli(args, {out, err, false});
        if (code != 2) fail("usage error without exit code 2", std::to_string(code));
        if (!out.str().empty()) fail("usage error printed on standard output", out.str());
        const std::string text = err.str();
        const std::size_t line_end = text.find('\n');
        if (!text.starts_with("vellox-cli: ") || line_end == std::string::npos ||
            text.substr(line_end + 1) != vellox::cli::usage_text()) {
            fail("usage error text", text);
        }
        for (std::size_t i = 0; i < line_end; ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            if (byte < 32 || byte == 127) fail("control character in the usage error", text);
        }
    }

    // Every argument also as the emulated device's settings, directly and through
    // --simulate's own keys.
    for (const std::string& arg : args) {
        if (arg.empty()) continue;
        check_settings(arg);
        const vellox::cli::ParsedSimulation simulation = vellox::cli::parse_simulation(arg);
        if (!simulation.setup) check_error(simulation.error);
    }
    return 0;
}
