#include "cli/CliOptions.h"

#include <charconv>
#include <vector>

#include "sim/EmulatedDeviceSettings.h"

namespace vellox::cli {
namespace {

std::optional<Command> command_named(std::string_view word) {
    if (word == "list") return Command::List;
    if (word == "info") return Command::Info;
    if (word == "download") return Command::Download;
    if (word == "station") return Command::Station;
    return std::nullopt;
}

std::string_view command_name(Command command) {
    switch (command) {
        case Command::List:
            return "list";
        case Command::Info:
            return "info";
        case Command::Download:
            return "download";
        case Command::Station:
            return "station";
        case Command::None:
            break;
    }
    return "";
}

std::optional<std::chrono::seconds> parse_seconds(std::string_view text) {
    unsigned long long value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end) return std::nullopt;
    if (value > static_cast<unsigned long long>(max_wait.count())) return std::nullopt;
    return std::chrono::seconds(value);
}

std::optional<std::uint32_t> parse_count(std::string_view text) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end) return std::nullopt;
    if (value == 0 || value > max_station_count) return std::nullopt;
    return value;
}

ParsedCommandLine fail(std::string message) { return {std::nullopt, std::move(message)}; }

}  // namespace

ParsedCommandLine parse_command_line(std::span<const std::string> args) {
    CliOptions options;
    std::vector<std::string> operands;
    bool options_ended = false;
    std::optional<std::string> simulate_text;
    bool device_wait_or_trace = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const std::optional<std::string> value =
            eq == std::string::npos ? std::nullopt : std::optional(arg.substr(eq + 1));

        // "--name=VALUE" or "--name VALUE".
        auto value_or_next = [&]() -> std::optional<std::string> {
            if (value) return value;
            if (i + 1 < args.size()) return args[++i];
            return std::nullopt;
        };
        auto refuse_value = [&]() -> std::optional<ParsedCommandLine> {
            if (value) return fail("option " + name + " takes no value");
            return std::nullopt;
        };

        if (name == "--help" || name == "-h") {
            if (auto bad = refuse_value()) return *bad;
            options.help = true;
        } else if (name == "--version") {
            if (auto bad = refuse_value()) return *bad;
            options.version = true;
        } else if (name == "--json") {
            if (auto bad = refuse_value()) return *bad;
            options.json = true;
        } else if (name == "--trace") {
            if (auto bad = refuse_value()) return *bad;
            options.trace = true;
            device_wait_or_trace = true;
        } else if (name == "--device") {
            device_wait_or_trace = true;
            options.device = value_or_next();
            if (!options.device || options.device->empty()) {
                return fail("option --device needs a device path");
            }
        } else if (name == "--wait") {
            device_wait_or_trace = true;
            if (!value) {
                options.wait = default_wait;
            } else if (auto seconds = parse_seconds(*value)) {
                options.wait = seconds;
            } else {
                return fail("option --wait takes a whole number of seconds up to " +
                            std::to_string(max_wait.count()) + ", not '" + *value + "'");
            }
        } else if (name == "--simulate") {
            // Read once the command is known: the station's settings describe a whole bench.
            simulate_text = value.value_or("");
        } else if (name == "--log") {
            options.log = value_or_next();
            if (!options.log || options.log->empty()) return fail("option --log needs a file");
        } else if (name == "--once-per-serial") {
            if (auto bad = refuse_value()) return *bad;
            options.once_per_serial = true;
        } else if (name == "--count") {
            const std::optional<std::string> text = value_or_next();
            const auto count = text ? parse_count(*text) : std::nullopt;
            if (!count) {
                return fail("option --count takes a whole number from 1 to " +
                            std::to_string(max_station_count));
            }
            options.count = count;
        } else if (name == "--worker-deadline") {
            const std::optional<std::string> text = value_or_next();
            const auto seconds = text ? parse_seconds(*text) : std::nullopt;
            if (!seconds || seconds->count() == 0) {
                return fail("option --worker-deadline takes a whole number of seconds from 1 to " +
                            std::to_string(max_wait.count()));
            }
            options.worker_deadline = seconds;
        } else if (name == "--simulate-dump") {
            if (!value || value->empty()) return fail("option --simulate-dump needs =FILE");
            options.simulate_dump = *value;
        } else {
            return fail("unknown option '" + arg + "'");
        }
    }

    if (options.help || options.version) return {options, {}};

    std::size_t next = 0;
    for (; next < operands.size(); ++next) {
        const std::string& word = operands[next];
        std::optional<Command> command = command_named(word);
        if (!command) {
            if ((options.command == Command::Download || options.command == Command::Station) &&
                options.image.empty()) {
                options.image = word;
                continue;
            }
            if (options.command == Command::None) return fail("unknown command '" + word + "'");
            return fail("unexpected argument '" + word + "'");
        }
        if (options.command != Command::None) {
            return fail("two commands given: '" + std::string(command_name(options.command)) +
                        "' and '" + word + "'");
        }
        options.command = *command;
    }

    if (options.command == Command::None) return fail("no command given");
    if (options.command == Command::Download && options.image.empty()) {
        return fail("download needs an IMAGE file");
    }
    if (options.command == Command::Station) {
        if (options.image.empty()) return fail("station needs an IMAGE file");
        // The station finds its devices itself and runs one worker per device.
        if (device_wait_or_trace) return fail("station takes no --device, --wait or --trace");
        if (options.once_per_serial && !options.log) {
            return fail("option --once-per-serial needs --log FILE, where the successes are");
        }
        options.station_simulate = simulate_text;
    } else {
        if (options.log || options.once_per_serial || options.count || options.worker_deadline) {
            return fail(
                "options --log, --once-per-serial, --count and --worker-deadline are for station");
        }
        if (simulate_text) {
            ParsedSimulation parsed = parse_simulation(*simulate_text);
            if (!parsed.setup) return fail("bad --simulate settings: " + parsed.error);
            options.simulate = std::move(parsed.setup);
        }
    }
    if (options.simulate_dump && !options.simulate && !options.station_simulate) {
        return fail("option --simulate-dump needs --simulate");
    }
    return {options, {}};
}

std::string usage_text() {
    return "Usage: vellox-cli [OPTIONS] list\n"
           "       vellox-cli [OPTIONS] info\n"
           "       vellox-cli [OPTIONS] download IMAGE\n"
           "       vellox-cli [OPTIONS] station IMAGE\n"
           "Try 'vellox-cli --help' for more.\n";
}

std::string help_text() {
    std::string text =
        "Usage: vellox-cli [OPTIONS] COMMAND\n"
        "Flashes firmware into the Vellox device (USB HID, vendor FFFF, product 2016).\n"
        "\n"
        "Commands:\n"
        "  list                 every HID interface: path, key, version, access, report\n"
        "                       lengths and whether it is the supported device\n"
        "  info                 the device's information, one \"Label: value\" per line,\n"
        "                       then its product identifier and capacity in bytes\n"
        "  download IMAGE       erase the device, write IMAGE, verify and finish\n"
        "  station IMAGE        production bench: flash every supported device as it is\n"
        "                       plugged in, several at once, until interrupted (Ctrl-C\n"
        "                       lets running downloads finish, then shows the counts)\n"
        "\n"
        "Options:\n"
        "  --device PATH        use the supported interface at PATH (default: the first)\n"
        "  --wait[=SECONDS]     wait for a supported device to appear (default 30 s)\n"
        "  --json               machine-readable output on standard output\n"
        "  --trace              every report sent and received, on standard error\n"
        "  --simulate[=SETTINGS]\n"
        "                       use an emulated device instead of the system's devices\n"
        "                       (default: the demo device, product V201, 128 KiB)\n"
        "  --simulate-dump=FILE with --simulate: write the emulated flash to FILE at the end\n"
        "  --help               this text\n"
        "  --version            the program's version\n"
        "\n"
        "Options of station:\n"
        "  --log FILE           append one JSON line per device and outcome to FILE,\n"
        "                       flushed to disk before the device is reported done\n"
        "  --once-per-serial    skip a device whose serial number already has a success\n"
        "                       in the log (needs --log)\n"
        "  --count N            end after N devices\n"
        "  --worker-deadline SECONDS\n"
        "                       stop a worker (logged as \"worker timed out\") that runs\n"
        "                       longer (default: from the image size, see the manual)\n"
        "  --json               JSON lines on standard output instead of the display\n"
        "  --simulate[=SETTINGS]\n"
        "                       an emulated bench: SETTINGS as below, plus\n"
        "                       devices=N          N emulated devices (default 1), serial\n"
        "                                          numbers VX2016-000001 and on (or SERIAL-1\n"
        "                                          and on when serial=SERIAL is given)\n"
        "                       plug-every=DURATION  one device plugged in every DURATION\n"
        "                                          (default 0: all at once)\n"
        "                       plugs=M            M plugs in all, the devices in turn, each\n"
        "                                          unplugged once done (default N)\n"
        "                       fault-on=K:FAULT   device K (from 1) has FAULT (may repeat)\n"
        "                       for example devices=4,plug-every=1s,fault-on=3:wrong-verify-sum\n"
        "                       The station ends once every emulated plug was handled.\n"
        "  --simulate-dump=FILE with the emulated bench: each plug's flash to FILE.N,\n"
        "                       N counting the plugs from 1\n"
        "\n"
        "Exit codes:\n"
        "  0 success   1 unexpected fault   2 bad usage   3 no supported device\n"
        "  4 permission denied on the device node   5 image cannot be read\n"
        "  6 \"Size of file is error\"   7 \"Product ID is error\"\n"
        "  8 the device reports no flash capacity   9 station: a device failed\n"
        "  11 \" no connected\"   12 \"HID out Data error\"   13 \"Time out  error\"\n"
        "  16 \"Verify error\"   20 \"Write  error __\"   21 \"other error\"\n"
        "  22 another program is flashing the device (nothing was sent)\n"
        "  23 station: a worker was cut short (past its deadline, or the third Ctrl-C)\n"
        "  130 a second Ctrl+C abandoned the download (the first lets it finish)\n"
        "\n"
        "SETTINGS of --simulate: comma-separated key=value pairs, for example\n"
        "  --simulate=product=E201,capacity=64K,fault=no-finish-reply\n"
        "  plug-after=DURATION   plug the emulated device in only after DURATION\n"
        "                        (for trying --wait)\n";
    text += sim::settings_help();
    if (!text.empty() && text.back() != '\n') text += '\n';
    return text;
}

}  // namespace vellox::cli
