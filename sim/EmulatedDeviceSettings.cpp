#include "sim/EmulatedDeviceSettings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>

namespace sim {
namespace {

constexpr std::array<FaultInfo, 12> faults{{
    {"silence", false, "the device never answers"},
    {"no-erase-replies", false, "erase works but sends no progress replies"},
    {"corrupt-echo", true, "the echo of block N (0 = first after erase) differs from the block"},
    {"echo-stop", true, "only the first N blocks after erase are echoed"},
    {"wrong-verify-sum", false, "the verify reply carries a wrong sum"},
    {"no-verify-reply", false, "the verify command gets no reply"},
    {"no-finish-reply", false, "the finish command gets no reply"},
    {"noise", false, "a report with a wrong checksum or length comes before every good reply"},
    {"refuse-writes", false, "every output report fails (the host's write fails)"},
    {"unplug-after", true, "the device drops off the bus after N write blocks"},
    {"query-only", false, "the interface opens only for queries, not for reading and writing"},
    {"locked-elsewhere", false, "another Vellox program's download holds the device's lock"},
}};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::optional<std::uint64_t> parse_number(std::string_view s) {
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc{} || end != s.data() + s.size() || s.empty()) return std::nullopt;
    return value;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> unescape(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size()) return std::nullopt;
        int high = hex_digit(s[i + 1]);
        int low = hex_digit(s[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::string escape(std::string_view s) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : s) {
        auto byte = static_cast<std::uint8_t>(c);
        if (byte > 32 && byte < 127 && c != '%' && c != ',' && c != '=') {
            out += c;
        } else {
            out += '%';
            out += digits[byte >> 4];
            out += digits[byte & 0x0F];
        }
    }
    return out;
}

std::optional<std::chrono::nanoseconds> parse_duration(std::string_view s) {
    std::size_t digits = 0;
    while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9') ++digits;
    auto count = parse_number(s.substr(0, digits));
    if (!count) return std::nullopt;
    std::string_view unit = s.substr(digits);
    std::uint64_t scale = 0;
    if (unit == "ns") {
        scale = 1;
    } else if (unit == "us" || unit == "\u00B5s") {
        scale = 1'000;
    } else if (unit == "ms") {
        scale = 1'000'000;
    } else if (unit == "s") {
        scale = 1'000'000'000;
    } else if (unit.empty() && *count == 0) {
        scale = 1;
    } else {
        return std::nullopt;
    }
    // An hour is far more than any link or erase step takes; beyond it is a typing error.
    constexpr std::uint64_t limit = 3'600'000'000'000ull;
    if (*count > limit / scale) return std::nullopt;
    return std::chrono::nanoseconds(static_cast<std::int64_t>(*count * scale));
}

std::string format_duration(std::chrono::nanoseconds d) {
    auto ns = d.count();
    if (ns == 0) return "0";
    if (ns % 1'000'000'000 == 0) return std::to_string(ns / 1'000'000'000) + "s";
    if (ns % 1'000'000 == 0) return std::to_string(ns / 1'000'000) + "ms";
    if (ns % 1'000 == 0) return std::to_string(ns / 1'000) + "us";
    return std::to_string(ns) + "ns";
}

std::optional<std::uint64_t> parse_capacity(std::string_view s) {
    std::size_t digits = 0;
    while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9') ++digits;
    auto count = parse_number(s.substr(0, digits));
    if (!count || *count > max_capacity) return std::nullopt;
    std::string_view unit = s.substr(digits);
    if (unit.empty()) return count;
    if (unit == "K" || unit == "KiB") return *count * 1024;
    if (unit == "M" || unit == "MiB") return *count * 1024 * 1024;
    return std::nullopt;
}

// Returns an error text, empty when the fault was applied.
std::string apply_fault(std::string_view value, FirmwareFaults& f) {
    std::string_view name = value;
    std::optional<std::uint64_t> count;
    bool has_count = false;
    if (auto colon = value.find(':'); colon != std::string_view::npos) {
        name = value.substr(0, colon);
        has_count = true;
        count = parse_number(value.substr(colon + 1));
    }
    const FaultInfo* info = nullptr;
    for (const auto& candidate : faults) {
        if (candidate.name == name) info = &candidate;
    }
    if (!info) return "unknown fault '" + std::string(name) + "'";
    if (info->takes_count != has_count) {
        return info->takes_count ? "fault '" + std::string(name) + "' needs a count, as " +
                                       std::string(name) + ":N"
                                 : "fault '" + std::string(name) + "' takes no count";
    }
    if (has_count && (!count || *count > std::numeric_limits<std::uint32_t>::max())) {
        return "fault '" + std::string(name) + "' needs a whole number after ':'";
    }
    auto n = static_cast<std::uint32_t>(count.value_or(0));
    if (name == "silence") f.silence = true;
    if (name == "no-erase-replies") f.no_erase_replies = true;
    if (name == "corrupt-echo") f.corrupt_echo_at = n;
    if (name == "echo-stop") f.echo_limit = n;
    if (name == "wrong-verify-sum") f.wrong_verify_sum = true;
    if (name == "no-verify-reply") f.no_verify_reply = true;
    if (name == "no-finish-reply") f.no_finish_reply = true;
    if (name == "noise") f.noise = true;
    if (name == "refuse-writes") f.refuse_writes = true;
    if (name == "unplug-after") f.unplug_after = n;
    if (name == "query-only") f.query_only = true;
    if (name == "locked-elsewhere") f.locked_elsewhere = true;
    return {};
}

std::string* text_field(EmulatedDeviceSettings& s, std::string_view key) {
    if (key == "hardware") return &s.hardware_version;
    if (key == "product") return &s.product_id;
    if (key == "application") return &s.application_version;
    if (key == "rf") return &s.rf_version;
    if (key == "icon") return &s.icon_version;
    if (key == "serial") return &s.serial_number;
    return nullptr;
}

// Returns an error text, empty when the setting was applied.
std::string apply(std::string_view key, std::string_view value, EmulatedDeviceSettings& s) {
    const std::string quoted = "'" + std::string(value) + "'";
    if (std::string* field = text_field(s, key)) {
        auto text = unescape(value);
        if (!text) return std::string(key) + ": bad %-escape in " + quoted;
        *field = *text;
    } else if (key == "gate") {
        auto n = parse_number(value);
        if (!n || *n > 255) return "gate: expected 0..255, got " + quoted;
        s.display_gate = static_cast<std::uint8_t>(*n);
    } else if (key == "capacity") {
        auto n = parse_capacity(value);
        if (!n || *n > max_capacity || *n % 1024 != 0) {
            return "capacity: expected whole KiB up to 65535K, got " + quoted;
        }
        s.capacity = static_cast<std::uint32_t>(*n);
    } else if (key == "erase-step") {
        auto n = parse_number(value);
        if (!n || *n < 1 || *n > 100) return "erase-step: expected 1..100, got " + quoted;
        s.erase_step = static_cast<std::uint8_t>(*n);
    } else if (key == "erase-pace" || key == "latency" || key == "interval") {
        auto d = parse_duration(value);
        if (!d) return std::string(key) + ": expected a duration such as 1ms, got " + quoted;
        (key == "erase-pace" ? s.erase_pace : key == "latency" ? s.latency : s.interval) = *d;
    } else if (key == "fault") {
        return apply_fault(value, s.faults);
    } else if (key == "clock") {
        if (value != "real" && value != "virtual") {
            return "clock: expected real or virtual, got " + quoted;
        }
        s.virtual_clock = value == "virtual";
    } else {
        return "unknown setting '" + std::string(key) + "'";
    }
    return {};
}

}  // namespace

ParsedSettings parse_settings(std::string_view text) {
    EmulatedDeviceSettings settings;
    while (!text.empty()) {
        auto comma = text.find(',');
        std::string_view item = trim(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        if (item.empty()) continue;
        auto equals = item.find('=');
        if (equals == std::string_view::npos) {
            return {std::nullopt, "expected key=value, got '" + std::string(item) + "'"};
        }
        std::string error =
            apply(trim(item.substr(0, equals)), trim(item.substr(equals + 1)), settings);
        if (!error.empty()) return {std::nullopt, error};
    }
    return {settings, {}};
}

std::string format_settings(const EmulatedDeviceSettings& s) {
    std::string out =
        "hardware=" + escape(s.hardware_version) + ",product=" + escape(s.product_id) +
        ",application=" + escape(s.application_version) + ",rf=" + escape(s.rf_version) +
        ",icon=" + escape(s.icon_version) + ",serial=" + escape(s.serial_number) +
        ",gate=" + std::to_string(s.display_gate) + ",capacity=" + std::to_string(s.capacity) +
        ",erase-pace=" + format_duration(s.erase_pace) +
        ",erase-step=" + std::to_string(s.erase_step) + ",latency=" + format_duration(s.latency) +
        ",interval=" + format_duration(s.interval);
    const FirmwareFaults& f = s.faults;
    auto flag = [&out](bool on, std::string_view name) {
        if (on) out += ",fault=" + std::string(name);
    };
    auto counted = [&out](const std::optional<std::uint32_t>& n, std::string_view name) {
        if (n) out += ",fault=" + std::string(name) + ":" + std::to_string(*n);
    };
    flag(f.silence, "silence");
    flag(f.no_erase_replies, "no-erase-replies");
    counted(f.corrupt_echo_at, "corrupt-echo");
    counted(f.echo_limit, "echo-stop");
    flag(f.wrong_verify_sum, "wrong-verify-sum");
    flag(f.no_verify_reply, "no-verify-reply");
    flag(f.no_finish_reply, "no-finish-reply");
    flag(f.noise, "noise");
    flag(f.refuse_writes, "refuse-writes");
    counted(f.unplug_after, "unplug-after");
    flag(f.query_only, "query-only");
    flag(f.locked_elsewhere, "locked-elsewhere");
    if (s.virtual_clock) out += ",clock=virtual";
    return out;
}

std::span<const FaultInfo> fault_catalogue() { return faults; }

std::string settings_help() {
    std::string out =
        "Emulated device settings: key=value items separated by commas.\n"
        "  hardware, product, application, rf, icon, serial   information texts (%HH: any "
        "byte)\n"
        "  gate=N          display gate byte of the information reply (0 shows it)\n"
        "  capacity=SIZE   flash size in whole KiB, as 131072 or 128K (default 128K)\n"
        "  erase-pace=D    time between erase progress replies (default 10ms)\n"
        "  erase-step=N    percent per erase progress reply (default 10)\n"
        "  latency=D       delay from a command to its reply (default 0)\n"
        "  interval=D      least time between input reports: 1ms full speed, 125us high "
        "speed\n"
        "  clock=virtual   the delays and the program's ticks on a clock that jumps over\n"
        "                  every wait, taking no wall-clock time (default real)\n"
        "  fault=NAME[:N]  switch on a fault; may be repeated:\n";
    for (const auto& f : faults) {
        std::string name = std::string(f.name) + (f.takes_count ? ":N" : "");
        name.resize(std::max<std::size_t>(name.size() + 1, 20), ' ');
        out += "    " + name + std::string(f.description) + "\n";
    }
    return out;
}

}  // namespace sim
