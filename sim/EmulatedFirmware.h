#pragma once
// The firmware of an emulated Vellox device: answers the host's 64-byte command reports as
// the real device does (information, erase with progress, write with echo, verify sum,
// finish) over a flash array, with configurable link timing and switchable faults.
//
// Not thread-safe: whoever drives on_output_report serialises it with the accessors.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/DeviceModel.h"
#include "sim/EmulatedDeviceSettings.h"

namespace sim {

class EmulatedFirmware final : public DeviceModel {
  public:
    static constexpr std::size_t report_size = 64;  // data bytes, without the report ID
    static constexpr std::size_t max_block = 58;    // data bytes one write report carries
    using Report = std::array<std::uint8_t, report_size>;

    static constexpr std::uint8_t cmd_info = 0x00;
    static constexpr std::uint8_t cmd_verify = 0x04;
    static constexpr std::uint8_t cmd_finish = 0x06;
    static constexpr std::uint8_t cmd_write = 0x0C;
    static constexpr std::uint8_t cmd_erase = 0x10;

    explicit EmulatedFirmware(EmulatedDeviceSettings settings = {});

    bool on_output_report(std::span<const std::uint8_t> data, Clock::time_point now,
                          InputSink& link) override;
    Clock::duration link_interval() const override;

    const EmulatedDeviceSettings& settings() const { return settings_; }

    // The whole flash, `capacity` bytes; erased bytes read 0xFF.
    std::span<const std::uint8_t> flash() const { return flash_; }
    // Write blocks stored since power-up.
    std::size_t write_count() const { return write_count_; }
    std::size_t erase_count() const { return erase_count_; }
    // Write blocks refused because they reach past the flash or claim more than 58 bytes.
    std::size_t rejected_write_count() const { return rejected_writes_; }
    // Reports dropped unread: too short, wrong checksum, or an unknown command.
    std::size_t ignored_report_count() const { return ignored_reports_; }
    // Times the device asked the link to unplug it.
    std::size_t unplug_count() const { return unplugs_; }
    // Command code of the last report with a good checksum, if any came.
    std::optional<std::uint8_t> last_command() const { return last_command_; }

    // The information reply these settings give (checksum included).
    static Report information_reply(const EmulatedDeviceSettings& settings);
    // Sum of data bytes 0..62 modulo 256: the value data byte 63 carries.
    static std::uint8_t checksum(std::span<const std::uint8_t> report);

  private:
    void handle_erase(const Report& command, Clock::time_point now, InputSink& link);
    bool handle_write(const Report& command, Clock::time_point now, InputSink& link);
    void handle_verify(const Report& command, Clock::time_point now, InputSink& link);
    // Queues a reply (its checksum filled in here) no earlier than `earliest`, and no closer
    // to the previous input report than the link's interval; noise goes out first if on.
    void send(Report reply, Clock::time_point earliest, InputSink& link);
    void send_noise(const Report& good, InputSink& link, Clock::time_point earliest);
    Clock::time_point take_slot(Clock::time_point earliest);

    EmulatedDeviceSettings settings_;
    std::vector<std::uint8_t> flash_;
    Clock::time_point link_free_ = Clock::time_point::min();
    std::uint32_t blocks_since_erase_ = 0;
    std::size_t write_count_ = 0;
    std::size_t erase_count_ = 0;
    std::size_t rejected_writes_ = 0;
    std::size_t ignored_reports_ = 0;
    std::size_t unplugs_ = 0;
    std::size_t noise_sent_ = 0;
    std::optional<std::uint8_t> last_command_;
};

}  // namespace sim
