#pragma once
// What an emulated device reports about itself, how fast its link is, and which faults it
// shows. Built in code by tests, or parsed from a short text such as
// "product=E201,capacity=128K,interval=1ms,fault=no-finish-reply" given on a command line.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sim {

// Faults a test can switch on. Several may be on at once.
struct FirmwareFaults {
    bool silence = false;           // never sends an input report
    bool no_erase_replies = false;  // erases, but reports no progress
    std::optional<std::uint32_t>
        corrupt_echo_at;                      // echo of this block (0 = first since erase) differs
    std::optional<std::uint32_t> echo_limit;  // only this many blocks since erase are echoed
    bool wrong_verify_sum = false;            // verify reply carries a sum one too high
    bool no_verify_reply = false;
    bool no_finish_reply = false;
    bool noise = false;  // a bad report (wrong checksum or wrong length) before every good one
    bool refuse_writes = false;  // every output report fails on the host side
    std::optional<std::uint32_t>
        unplug_after;               // drops off the bus after this many writes since erase
    bool query_only = false;        // the interface opens only for queries (applied by the backend)
    bool locked_elsewhere = false;  // another program holds the device lock (by the backend)
};

struct EmulatedDeviceSettings {
    // Information reply. Each text is cut or padded with blanks to its field's width; an empty
    // text leaves the field zero, so a host shows no row for it.
    std::string hardware_version = "V1.2";        // field 0, 8 characters
    std::string product_id = "V201";              // field 1, 4 characters
    std::string application_version = "1.0.7";    // field 2, 8 characters
    std::string rf_version = "2.1";               // field 3, 8 characters
    std::string icon_version = "1.3";             // field 4, 8 characters
    std::string serial_number = "VX2016-000123";  // field 5, 16 characters
    std::uint8_t display_gate = 0;                // byte 4 of the reply: 0 lets the host show it
    std::uint32_t capacity = 128 * 1024;          // flash bytes; reported in KiB

    // Erase: one progress reply per step, `erase_pace` apart, the last one saying 100.
    std::chrono::nanoseconds erase_pace = std::chrono::milliseconds(10);
    std::uint8_t erase_step = 10;  // percent per progress reply, 1..100

    // Link: every reply leaves `latency` after its command at the earliest, and input
    // reports leave at least `interval` apart (1 ms: full-speed USB, 125 us: high-speed).
    std::chrono::nanoseconds latency{0};
    std::chrono::nanoseconds interval{0};

    FirmwareFaults faults;

    // Applied by the program that runs the device: its delays, and that program's ticks, on a
    // virtual clock that jumps over every wait instead of on the steady clock.
    bool virtual_clock = false;
};

// Largest capacity the two capacity bytes of the information reply can state.
inline constexpr std::uint32_t max_capacity = 0xFFFFu * 1024u;

struct ParsedSettings {
    std::optional<EmulatedDeviceSettings> settings;  // set when the text was good
    std::string error;                         // otherwise what was wrong, for the user
    explicit operator bool() const { return settings.has_value(); }
};

// Parses "key=value,key=value,...", starting from the defaults. Keys: hardware, product,
// application, rf, icon, serial (texts; %HH puts any byte, %2C a comma), gate, capacity
// (bytes, or with K/KiB/M/MiB), erase-pace, erase-step, latency, interval (durations such as
// 0, 125us, 1ms, 2s), fault (a name from fault_catalogue(), with ":N" where it takes a count;
// may be repeated), clock (real or virtual).
ParsedSettings parse_settings(std::string_view text);

// The settings as text that parse_settings reads back to the same settings.
std::string format_settings(const EmulatedDeviceSettings& settings);

struct FaultInfo {
    std::string_view name;
    bool takes_count;
    std::string_view description;
};

// Every fault name the text form accepts, with a one-line description (for --help).
std::span<const FaultInfo> fault_catalogue();

// A few lines describing the keys of the text form and the faults (for --help).
std::string settings_help();

}  // namespace sim
