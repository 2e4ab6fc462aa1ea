#include "sim/EmulatedFirmware.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <utility>

namespace sim {
namespace {

// Data-byte positions (the report's byte numbers minus one, as no report ID comes with them).
constexpr std::size_t pos_command = 0;
constexpr std::size_t pos_address = 1;  // three bytes, high byte first
constexpr std::size_t pos_length = 4;
constexpr std::size_t pos_data = 5;
constexpr std::size_t pos_checksum = 63;

// Information reply fields: data position and width.
constexpr std::size_t pos_display_gate = 3;
constexpr std::size_t pos_capacity = 61;  // two bytes, KiB, high byte first

void put_text(EmulatedFirmware::Report& report, std::size_t pos, std::size_t width,
              const std::string& text) {
    if (text.empty()) return;  // an absent field stays zero
    for (std::size_t i = 0; i < width; ++i) {
        report[pos + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
    }
}

std::uint32_t address_of(const EmulatedFirmware::Report& report) {
    return (std::uint32_t{report[pos_address]} << 16) |
           (std::uint32_t{report[pos_address + 1]} << 8) | report[pos_address + 2];
}

// A reply that repeats the command's code, address and length and carries nothing else.
EmulatedFirmware::Report reply_head(const EmulatedFirmware::Report& command) {
    EmulatedFirmware::Report reply{};
    std::copy_n(command.begin(), pos_data, reply.begin());
    return reply;
}

}  // namespace

EmulatedFirmware::EmulatedFirmware(EmulatedDeviceSettings settings)
    : settings_(std::move(settings)),
      flash_(std::min(settings_.capacity, max_capacity), std::uint8_t{0xFF}) {
    settings_.capacity = static_cast<std::uint32_t>(flash_.size());
    settings_.erase_step = std::clamp<std::uint8_t>(settings_.erase_step, 1, 100);
}

std::uint8_t EmulatedFirmware::checksum(std::span<const std::uint8_t> report) {
    auto bytes = report.first(std::min(report.size(), pos_checksum));
    return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

EmulatedFirmware::Report EmulatedFirmware::information_reply(const EmulatedDeviceSettings& s) {
    Report reply{};
    reply[pos_command] = cmd_info;
    reply[pos_display_gate] = s.display_gate;
    put_text(reply, 5, 8, s.hardware_version);
    put_text(reply, 13, 4, s.product_id);
    put_text(reply, 21, 8, s.application_version);
    put_text(reply, 29, 8, s.rf_version);
    put_text(reply, 37, 8, s.icon_version);
    put_text(reply, 45, 16, s.serial_number);
    const std::uint32_t kib = std::min<std::uint32_t>(s.capacity / 1024, 0xFFFF);
    reply[pos_capacity] = static_cast<std::uint8_t>(kib >> 8);
    reply[pos_capacity + 1] = static_cast<std::uint8_t>(kib);
    reply[pos_checksum] = checksum(reply);
    return reply;
}

Clock::duration EmulatedFirmware::link_interval() const {
    return std::chrono::duration_cast<Clock::duration>(settings_.interval);
}

bool EmulatedFirmware::on_output_report(std::span<const std::uint8_t> data, Clock::time_point now,
                                        InputSink& link) {
    if (settings_.faults.refuse_writes) return false;
    if (data.size() < report_size) {
        ++ignored_reports_;
        return true;
    }
    Report command;
    std::copy_n(data.begin(), report_size, command.begin());
    if (command[pos_checksum] != checksum(command)) {
        ++ignored_reports_;
        return true;
    }
    last_command_ = command[pos_command];
    const auto reply_time = now + std::chrono::duration_cast<Clock::duration>(settings_.latency);

    switch (command[pos_command]) {
        case cmd_info:
            send(information_reply(settings_), reply_time, link);
            return true;
        case cmd_erase:
            handle_erase(command, now, link);
            return true;
        case cmd_write:
            return handle_write(command, now, link);
        case cmd_verify:
            handle_verify(command, now, link);
            return true;
        case cmd_finish:
            if (!settings_.faults.no_finish_reply) send(reply_head(command), reply_time, link);
            return true;
        default:
            ++ignored_reports_;
            return true;
    }
}

void EmulatedFirmware::handle_erase(const Report& command, Clock::time_point now, InputSink& link) {
    std::fill(flash_.begin(), flash_.end(), std::uint8_t{0xFF});
    ++erase_count_;
    blocks_since_erase_ = 0;
    if (settings_.faults.no_erase_replies) return;

    // One progress reply per step, each a pace later, the last saying 100 %.
    const auto start = now + std::chrono::duration_cast<Clock::duration>(settings_.latency);
    const auto pace = std::chrono::duration_cast<Clock::duration>(settings_.erase_pace);
    unsigned percent = 0;
    for (unsigned step = 1; percent < 100; ++step) {
        percent = std::min(100u, percent + settings_.erase_step);
        Report reply = reply_head(command);
        reply[pos_data] = static_cast<std::uint8_t>(percent);
        send(reply, start + pace * step, link);
    }
}

bool EmulatedFirmware::handle_write(const Report& command, Clock::time_point now, InputSink& link) {
    const FirmwareFaults& faults = settings_.faults;
    if (faults.unplug_after && blocks_since_erase_ >= *faults.unplug_after) {
        // Already gone: this block never arrives.
        ++unplugs_;
        link.unplug();
        return false;
    }
    const std::uint32_t address = address_of(command);
    const std::size_t length = command[pos_length];
    if (length > max_block || address > flash_.size() || length > flash_.size() - address) {
        // Storing it would run past the flash; the block is dropped and gets no echo.
        ++rejected_writes_;
        return true;
    }
    std::copy_n(command.begin() + pos_data, length, flash_.begin() + address);
    ++write_count_;
    const std::uint32_t block = blocks_since_erase_++;

    if (!faults.echo_limit || block < *faults.echo_limit) {
        Report echo = command;
        if (faults.corrupt_echo_at && block == *faults.corrupt_echo_at) {
            echo[pos_data] ^= 0x5A;  // still a well-formed reply, just not the block sent
        }
        send(echo, now + std::chrono::duration_cast<Clock::duration>(settings_.latency), link);
    }
    if (faults.unplug_after && blocks_since_erase_ == *faults.unplug_after) {
        ++unplugs_;
        link.unplug();
    }
    return true;
}

void EmulatedFirmware::handle_verify(const Report& command, Clock::time_point now,
                                     InputSink& link) {
    // Sum of addresses 0 up to and including the one asked for, as far as the flash reaches.
    const std::size_t end =
        std::min<std::size_t>(std::size_t{address_of(command)} + 1, flash_.size());
    auto sum = static_cast<std::uint16_t>(
        std::accumulate(flash_.begin(), flash_.begin() + static_cast<std::ptrdiff_t>(end), 0u));
    if (settings_.faults.wrong_verify_sum) ++sum;
    if (settings_.faults.no_verify_reply) return;
    Report reply = reply_head(command);
    reply[pos_data] = static_cast<std::uint8_t>(sum >> 8);
    reply[pos_data + 1] = static_cast<std::uint8_t>(sum);
    send(reply, now + std::chrono::duration_cast<Clock::duration>(settings_.latency), link);
}

Clock::time_point EmulatedFirmware::take_slot(Clock::time_point earliest) {
    const auto due = std::max(earliest, link_free_);
    link_free_ = due + std::chrono::duration_cast<Clock::duration>(settings_.interval);
    return due;
}

void EmulatedFirmware::send(Report reply, Clock::time_point earliest, InputSink& link) {
    if (settings_.faults.silence) return;
    reply[pos_checksum] = checksum(reply);
    if (settings_.faults.noise) send_noise(reply, link, earliest);
    link.send_input(reply, take_slot(earliest));
}

void EmulatedFirmware::send_noise(const Report& good, InputSink& link, Clock::time_point earliest) {
    // Cycle through the three kinds of report a host must not accept.
    std::vector<std::uint8_t> bad(good.begin(), good.end());
    switch (noise_sent_++ % 3) {
        case 0:
            bad[pos_checksum] = static_cast<std::uint8_t>(bad[pos_checksum] + 1);
            break;
        case 1:
            bad.pop_back();  // 63 bytes
            break;
        default:
            bad.push_back(0);  // 65 bytes, the checksum still right
            break;
    }
    link.send_input(bad, take_slot(earliest));
}

}  // namespace sim
