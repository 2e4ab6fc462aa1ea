#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>

#include "sim/EmulatedFirmware.h"
#include "sim/SampleImage.h"
#include "tests/sim/RecordingSink.h"

namespace sim {
namespace {

using namespace std::chrono_literals;
using test::RecordingSink;
using Report = EmulatedFirmware::Report;

const Clock::time_point t0 = Clock::time_point{} + 1h;

Report command(std::uint8_t code, std::uint32_t address = 0, std::uint8_t length = 0,
               std::span<const std::uint8_t> data = {}) {
    Report r{};
    r[0] = code;
    r[1] = static_cast<std::uint8_t>(address >> 16);
    r[2] = static_cast<std::uint8_t>(address >> 8);
    r[3] = static_cast<std::uint8_t>(address);
    r[4] = length;
    std::copy(data.begin(), data.end(), r.begin() + 5);
    r[63] = EmulatedFirmware::checksum(r);
    return r;
}

Report write_block(std::uint32_t address, std::span<const std::uint8_t> data) {
    return command(EmulatedFirmware::cmd_write, address, static_cast<std::uint8_t>(data.size()),
                   data);
}

std::vector<std::uint8_t> bytes_of(const Report& r) { return {r.begin(), r.end()}; }

bool well_formed(const std::vector<std::uint8_t>& r) {
    return r.size() == 64 && r[63] == EmulatedFirmware::checksum(r);
}

std::uint16_t verify_sum(const std::vector<std::uint8_t>& reply) {
    return static_cast<std::uint16_t>(reply[5] << 8 | reply[6]);
}

struct Device {
    explicit Device(EmulatedDeviceSettings s = {}) : firmware(std::move(s)) {}
    bool send(const Report& r, Clock::time_point now = t0) {
        return firmware.on_output_report(r, now, sink);
    }
    EmulatedFirmware firmware;
    RecordingSink sink;
};

// Writes `count` blocks of 58 bytes from address 0; block i holds bytes i, i+1, ...
void write_blocks(Device& d, int count) {
    for (int i = 0; i < count; ++i) {
        std::array<std::uint8_t, 58> data;
        std::iota(data.begin(), data.end(), static_cast<std::uint8_t>(i));
        ASSERT_TRUE(d.send(write_block(static_cast<std::uint32_t>(i * 58), data)));
    }
}

TEST(EmulatedFirmwareReplies, InformationReplyCarriesFieldsGateAndCapacity) {
    Device d;
    ASSERT_TRUE(d.send(command(EmulatedFirmware::cmd_info)));
    ASSERT_EQ(d.sink.sent.size(), 1u);
    const auto& r = d.sink.sent[0].data;
    ASSERT_TRUE(well_formed(r));
    EXPECT_EQ(r[0], 0x00);
    EXPECT_EQ(r[3], 0);  // display gate open
    EXPECT_EQ(std::string(r.begin() + 5, r.begin() + 13), "V1.2    ");
    EXPECT_EQ(std::string(r.begin() + 13, r.begin() + 17), "V201");
    EXPECT_EQ(std::string(r.begin() + 21, r.begin() + 29), "1.0.7   ");
    EXPECT_EQ(std::string(r.begin() + 45, r.begin() + 61), "VX2016-000123   ");
    EXPECT_EQ(r[61], 0x00);
    EXPECT_EQ(r[62], 0x80);  // 128 KiB
    EXPECT_EQ(d.sink.sent[0].due, t0);

    EmulatedDeviceSettings s;
    s.product_id = "E2";
    s.hardware_version = "";
    s.serial_number = "0123456789ABCDEFGHIJ";
    s.display_gate = 1;
    s.capacity = 0x1234 * 1024;
    const Report custom = EmulatedFirmware::information_reply(s);
    EXPECT_EQ(custom[3], 1);
    EXPECT_EQ(std::string(custom.begin() + 13, custom.begin() + 17), "E2  ");
    EXPECT_TRUE(
        std::all_of(custom.begin() + 5, custom.begin() + 13, [](auto b) { return b == 0; }));
    EXPECT_EQ(std::string(custom.begin() + 45, custom.begin() + 61), "0123456789ABCDEF");
    EXPECT_EQ(custom[61], 0x12);
    EXPECT_EQ(custom[62], 0x34);
    EXPECT_EQ(custom[63], EmulatedFirmware::checksum(custom));
}

TEST(EmulatedFirmwareReplies, EraseClearsFlashAndReportsProgressAtItsPace) {
    EmulatedDeviceSettings s;
    s.erase_pace = 20ms;
    s.erase_step = 30;
    Device d(s);
    const std::array<std::uint8_t, 3> abc{'a', 'b', 'c'};
    d.send(write_block(100, abc));
    d.sink.sent.clear();

    ASSERT_TRUE(d.send(command(EmulatedFirmware::cmd_erase, 0, 1)));
    EXPECT_TRUE(std::all_of(d.firmware.flash().begin(), d.firmware.flash().end(),
                            [](auto b) { return b == 0xFF; }));
    EXPECT_EQ(d.firmware.erase_count(), 1u);
    ASSERT_EQ(d.sink.sent.size(), 4u);
    const int expected[] = {30, 60, 90, 100};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto& r = d.sink.sent[i];
        EXPECT_TRUE(well_formed(r.data));
        EXPECT_EQ(r.data[0], 0x10);
        EXPECT_EQ(r.data[5], expected[i]);
        EXPECT_EQ(r.due, t0 + 20ms * static_cast<int>(i + 1));
    }
}

TEST(EmulatedFirmwareReplies, WriteStoresBlockAndEchoesItExactly) {
    Device d;
    std::array<std::uint8_t, 58> data;
    std::iota(data.begin(), data.end(), std::uint8_t{1});
    Report block = write_block(0x01F000, std::span(data).first(20));
    block[40] = 0xEE;  // bytes past the length are junk the host left there; echoed too
    block[63] = EmulatedFirmware::checksum(block);

    ASSERT_TRUE(d.send(block));
    ASSERT_EQ(d.sink.sent.size(), 1u);
    EXPECT_EQ(d.sink.sent[0].data, bytes_of(block));
    auto flash = d.firmware.flash();
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 20, flash.begin() + 0x01F000));
    EXPECT_EQ(flash[0x01F000 - 1], 0xFF);
    EXPECT_EQ(flash[0x01F000 + 20], 0xFF);
    EXPECT_EQ(d.firmware.write_count(), 1u);
    EXPECT_EQ(d.firmware.last_command(), EmulatedFirmware::cmd_write);
}

TEST(EmulatedFirmwareReplies, WritesPastTheFlashAreDroppedWithoutEcho) {
    Device d;  // 128 KiB = 0x20000
    const std::array<std::uint8_t, 58> data{};
    EXPECT_TRUE(d.send(write_block(0x20000 - 58, data)));  // the last block that fits
    EXPECT_TRUE(d.send(write_block(0x20000 - 57, data)));
    EXPECT_TRUE(d.send(write_block(0xFFFFFF, std::span(data).first(1))));
    EXPECT_TRUE(d.send(command(EmulatedFirmware::cmd_write, 0, 59)));
    EXPECT_EQ(d.sink.sent.size(), 1u);
    EXPECT_EQ(d.firmware.write_count(), 1u);
    EXPECT_EQ(d.firmware.rejected_write_count(), 3u);
    EXPECT_EQ(d.firmware.flash().size(), 0x20000u);

    EmulatedDeviceSettings none;
    none.capacity = 0;
    Device empty(none);
    EXPECT_TRUE(empty.send(write_block(0, std::span(data).first(1))));
    EXPECT_EQ(empty.firmware.rejected_write_count(), 1u);
}

TEST(EmulatedFirmwareReplies, VerifySumsFlashUpToAndIncludingTheAddress) {
    Device d;
    const std::array<std::uint8_t, 3> abc{'a', 'b', 'c'};
    d.send(write_block(0, abc));
    d.sink.sent.clear();
    auto verify = [&](std::uint32_t address) {
        d.sink.sent.clear();
        d.send(command(EmulatedFirmware::cmd_verify, address, 2));
        EXPECT_EQ(d.sink.sent.size(), 1u);
        EXPECT_TRUE(well_formed(d.sink.sent.at(0).data));
        EXPECT_EQ(d.sink.sent.at(0).data[0], 0x04);
        return verify_sum(d.sink.sent.at(0).data);
    };
    EXPECT_EQ(verify(0), 'a');
    EXPECT_EQ(verify(2), 294);
    EXPECT_EQ(verify(3), 294 + 255);  // erased flash counts as 0xFF
    // The whole erased device: 0x20000 bytes of 0xFF wrap to 0, as do addresses past its end.
    d.send(command(EmulatedFirmware::cmd_erase, 0, 1));
    EXPECT_EQ(verify(0x1FFFF), 0);
    EXPECT_EQ(verify(0xFFFFFF), 0);
}

TEST(EmulatedFirmwareReplies, FinishEchoesItsCode) {
    Device d;
    ASSERT_TRUE(d.send(command(EmulatedFirmware::cmd_finish)));
    ASSERT_EQ(d.sink.sent.size(), 1u);
    EXPECT_EQ(d.sink.sent[0].data[0], 0x06);
    EXPECT_TRUE(well_formed(d.sink.sent[0].data));
}

TEST(EmulatedFirmwareReplies, MalformedOrUnknownReportsGetNoReply) {
    Device d;
    Report bad = command(EmulatedFirmware::cmd_info);
    bad[63] = 1;
    EXPECT_TRUE(d.send(bad));
    const std::array<std::uint8_t, 63> short_report{};
    EXPECT_TRUE(d.firmware.on_output_report(short_report, t0, d.sink));
    EXPECT_TRUE(d.send(command(0x42)));
    EXPECT_TRUE(d.sink.sent.empty());
    EXPECT_EQ(d.firmware.ignored_report_count(), 3u);
}

TEST(EmulatedFirmwareReplies, SampleImageDownloadedBlockByBlockVerifies) {
    Device d;
    const auto image = make_sample_image();
    d.send(command(EmulatedFirmware::cmd_erase, 0, 1));
    // Blocks as a host plans them: 58 bytes, never across a 32 KiB boundary.
    for (std::size_t offset = 0; offset < image.size();) {
        const std::size_t room = 32768 - offset % 32768;
        const std::size_t n = std::min({std::size_t{58}, room, image.size() - offset});
        ASSERT_TRUE(d.send(
            write_block(static_cast<std::uint32_t>(offset), std::span(image).subspan(offset, n))));
        offset += n;
    }
    EXPECT_TRUE(std::equal(image.begin(), image.end(), d.firmware.flash().begin()));
    d.sink.sent.clear();
    d.send(command(EmulatedFirmware::cmd_verify, static_cast<std::uint32_t>(image.size() - 1), 2));
    const auto image_sum =
        static_cast<std::uint16_t>(std::accumulate(image.begin(), image.end(), 0u));
    EXPECT_EQ(verify_sum(d.sink.sent.at(0).data), image_sum);
}

TEST(EmulatedFirmwareTiming, NoLatencyNoIntervalRepliesAreDueAtOnce) {
    Device d;
    write_blocks(d, 3);
    d.send(command(EmulatedFirmware::cmd_info), t0 + 5ms);
    ASSERT_EQ(d.sink.sent.size(), 4u);
    EXPECT_EQ(d.sink.sent[2].due, t0);
    EXPECT_EQ(d.sink.sent[3].due, t0 + 5ms);
}

TEST(EmulatedFirmwareTiming, IntervalSpacesRepliesAndLatencyDelaysThem) {
    EmulatedDeviceSettings s;
    s.interval = 1ms;
    Device d(s);
    write_blocks(d, 3);
    d.send(command(EmulatedFirmware::cmd_finish), t0 + 10ms);  // link idle again by then
    ASSERT_EQ(d.sink.sent.size(), 4u);
    EXPECT_EQ(d.sink.sent[0].due, t0);
    EXPECT_EQ(d.sink.sent[1].due, t0 + 1ms);
    EXPECT_EQ(d.sink.sent[2].due, t0 + 2ms);
    EXPECT_EQ(d.sink.sent[3].due, t0 + 10ms);

    s.interval = 125us;
    s.latency = 2ms;
    Device slow(s);
    slow.send(command(EmulatedFirmware::cmd_info), t0);
    slow.send(command(EmulatedFirmware::cmd_info), t0 + 50us);
    slow.send(command(EmulatedFirmware::cmd_info), t0 + 1ms);
    EXPECT_EQ(slow.sink.sent[0].due, t0 + 2ms);
    EXPECT_EQ(slow.sink.sent[1].due, t0 + 2ms + 125us);
    EXPECT_EQ(slow.sink.sent[2].due, t0 + 3ms);
}

TEST(EmulatedFirmwareTiming, EraseRepliesKeepTheIntervalWhenItExceedsThePace) {
    EmulatedDeviceSettings s;
    s.erase_pace = 0ms;
    s.interval = 1ms;
    Device d(s);
    d.send(command(EmulatedFirmware::cmd_erase, 0, 1));
    ASSERT_EQ(d.sink.sent.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(d.sink.sent[i].due, t0 + 1ms * int(i));
}

// --- faults ---

TEST(EmulatedFirmwareFaults, SilenceStillStoresButNeverAnswers) {
    EmulatedDeviceSettings s;
    s.faults.silence = true;
    Device d(s);
    d.send(command(EmulatedFirmware::cmd_info));
    d.send(command(EmulatedFirmware::cmd_erase, 0, 1));
    write_blocks(d, 1);
    EXPECT_TRUE(d.sink.sent.empty());
    EXPECT_EQ(d.firmware.flash()[57], 57);
}

TEST(EmulatedFirmwareFaults, NoEraseRepliesStillErases) {
    EmulatedDeviceSettings s;
    s.faults.no_erase_replies = true;
    Device d(s);
    write_blocks(d, 1);
    d.sink.sent.clear();
    d.send(command(EmulatedFirmware::cmd_erase, 0, 1));
    EXPECT_TRUE(d.sink.sent.empty());
    EXPECT_EQ(d.firmware.flash()[0], 0xFF);
    write_blocks(d, 1);
    EXPECT_EQ(d.sink.sent.size(), 1u);
}

TEST(EmulatedFirmwareFaults, CorruptEchoAtBlockNCountsFromTheLastErase) {
    EmulatedDeviceSettings s;
    s.faults.corrupt_echo_at = 2;
    Device d(s);
    write_blocks(d, 4);
    d.send(command(EmulatedFirmware::cmd_erase, 0, 1));
    write_blocks(d, 3);
    std::vector<int> corrupted;
    for (std::size_t i = 0; i < d.sink.sent.size(); ++i) {
        const auto& r = d.sink.sent[i].data;
        ASSERT_TRUE(well_formed(r));  // accepted as a reply; only the content is wrong
        if (r[0] != EmulatedFirmware::cmd_write) continue;
        std::array<std::uint8_t, 58> data;
        std::iota(data.begin(), data.end(), static_cast<std::uint8_t>(r[3] / 58));
        if (!std::equal(data.begin(), data.end(), r.begin() + 5)) corrupted.push_back(int(i));
    }
    // Echo 2 of the first run, and echo 2 after the erase (4 echoes + 10 erase replies later).
    EXPECT_EQ(corrupted, (std::vector<int>{2, 16}));
    EXPECT_EQ(d.firmware.flash()[2 * 58], 2);  // the flash holds what was sent
}

TEST(EmulatedFirmwareFaults, EchoStopAfterNBlocks) {
    EmulatedDeviceSettings s;
    s.faults.echo_limit = 2;
    Device d(s);
    write_blocks(d, 4);
    EXPECT_EQ(d.sink.sent.size(), 2u);
    EXPECT_EQ(d.firmware.write_count(), 4u);
    EXPECT_EQ(d.firmware.flash()[3 * 58], 3);
}

TEST(EmulatedFirmwareFaults, NoVerifyReply) {
    EmulatedDeviceSettings s;
    s.faults.no_verify_reply = true;
    Device d(s);
    d.send(command(EmulatedFirmware::cmd_verify, 0, 2));
    EXPECT_TRUE(d.sink.sent.empty());
    d.send(command(EmulatedFirmware::cmd_finish));
    EXPECT_EQ(d.sink.sent.size(), 1u);
}

TEST(EmulatedFirmwareFaults, WrongVerifySumAndNoFinishReply) {
    EmulatedDeviceSettings s;
    s.faults.wrong_verify_sum = true;
    s.faults.no_finish_reply = true;
    Device d(s);
    d.send(command(EmulatedFirmware::cmd_erase, 0, 1));
    d.sink.sent.clear();
    d.send(command(EmulatedFirmware::cmd_verify, 0, 2));
    d.send(command(EmulatedFirmware::cmd_finish));
    ASSERT_EQ(d.sink.sent.size(), 1u);
    EXPECT_EQ(verify_sum(d.sink.sent[0].data), 0xFF + 1);
}

TEST(EmulatedFirmwareFaults, NoiseInterleavesEveryKindOfBadReportBeforeGoodOnes) {
    EmulatedDeviceSettings s;
    s.faults.noise = true;
    Device d(s);
    write_blocks(d, 3);
    d.send(command(EmulatedFirmware::cmd_info));
    ASSERT_EQ(d.sink.sent.size(), 8u);
    std::vector<std::size_t> bad_sizes;
    for (std::size_t i = 0; i < 8; i += 2) {
        EXPECT_FALSE(well_formed(d.sink.sent[i].data));
        EXPECT_TRUE(well_formed(d.sink.sent[i + 1].data));
        bad_sizes.push_back(d.sink.sent[i].data.size());
    }
    EXPECT_EQ(bad_sizes, (std::vector<std::size_t>{64, 63, 65, 64}));
    EXPECT_EQ(d.sink.sent[7].data, bytes_of(EmulatedFirmware::information_reply(s)));
}

TEST(EmulatedFirmwareFaults, RefusedWritesChangeNothing) {
    EmulatedDeviceSettings s;
    s.faults.refuse_writes = true;
    Device d(s);
    const std::array<std::uint8_t, 1> one{7};
    EXPECT_FALSE(d.send(write_block(0, one)));
    EXPECT_FALSE(d.send(command(EmulatedFirmware::cmd_info)));
    EXPECT_TRUE(d.sink.sent.empty());
    EXPECT_EQ(d.firmware.flash()[0], 0xFF);
    EXPECT_FALSE(d.firmware.last_command().has_value());
}

TEST(EmulatedFirmwareFaults, UnplugAfterNWrites) {
    EmulatedDeviceSettings s;
    s.faults.unplug_after = 2;
    Device d(s);
    write_blocks(d, 1);
    EXPECT_EQ(d.sink.unplugs, 0);
    write_blocks(d, 1);  // the second block still arrives and is echoed, then the cable goes
    EXPECT_EQ(d.sink.unplugs, 1);
    EXPECT_EQ(d.sink.sent.size(), 2u);
    const std::array<std::uint8_t, 1> one{7};
    EXPECT_FALSE(d.send(write_block(116, one)));
    EXPECT_EQ(d.firmware.flash()[116], 0xFF);
    EXPECT_EQ(d.firmware.write_count(), 2u);
}

}  // namespace
}  // namespace sim
