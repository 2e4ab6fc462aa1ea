#include "cli/CliOptions.h"

#include <charconv>
#include <vector>

#include "sim/FirmwareSettings.h"

namespace vellox::cli {
namespace {

std::optional<Command> command_named(std::string_view word) {
    if (word == "list") return Command::List;
    if (word == "info") return Command::Info;
    if (word == "download") return Command::Download;
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

ParsedCommandLine fail(std::string message) { return {std::nullopt, std::move(message)}; }

}  // namespace

ParsedCommandLine parse_command_line(std::span<const std::string> args) {
    CliOptions options;
    std::vector<std::string> operands;
    bool options_ended = false;

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
        } else if (name == "--device") {
            if (value) {
                options.device = *value;
            } else if (i + 1 < args.size()) {
                options.device = args[++i];
            } else {
                return fail("option --device needs a device path");
            }
            if (options.device->empty()) return fail("option --device needs a device path");
        } else if (name == "--wait") {
            if (!value) {
                options.wait = default_wait;
            } else if (auto seconds = parse_seconds(*value)) {
                options.wait = seconds;
            } else {
                return fail("option --wait takes a whole number of seconds up to " +
                            std::to_string(max_wait.count()) + ", not '" + *value + "'");
            }
        } else if (name == "--simulate") {
            ParsedSimulation parsed = parse_simulation(value.value_or(""));
            if (!parsed.setup) return fail("bad --simulate settings: " + parsed.error);
            options.simulate = std::move(parsed.setup);
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
            if (options.command == Command::Download && options.image.empty()) {
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
    if (options.simulate_dump && !options.simulate) {
        return fail("option --simulate-dump needs --simulate");
    }
    return {options, {}};
}

std::string usage_text() {
    return "Usage: vellox-cli [OPTIONS] list\n"
           "       vellox-cli [OPTIONS] info\n"
           "       vellox-cli [OPTIONS] download IMAGE\n"
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
        "\n"
        "Options:\n"
        "  --device PATH        use the supported interface at PATH (default: the first)\n"
        "  --wait[=SECONDS]     wait for a supported device to appear (default 30 s)\n"
        "  --json               machine-readable output on standard output\n"
        "  --trace              every report sent and received, on standard error\n"
        "  --simulate[=SETTINGS]\n"
        "                       use an emulated device instead of the system's devices\n"
        "                       (default: the demo device, product V201, 128 KiB)\n"
        "  --help               this text\n"
        "  --version            the program's version\n"
        "\n"
        "Exit codes:\n"
        "  0 success   1 unexpected fault   2 bad usage   3 no supported device\n"
        "  4 permission denied on the device node   5 image cannot be read\n"
        "  6 \"Size of file is error\"   7 \"Product ID is error\"\n"
        "  8 no information reply from the device\n"
        "  11 \" no connected\"   12 \"HID out Data error\"   13 \"Time out  error\"\n"
        "  16 \"Verify error\"   20 \"Write  error __\"\n"
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
