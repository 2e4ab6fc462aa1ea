// vellox-cli end to end against the emulated device: the same engines, platform layer and
// firmware model the window runs with, driven through the command line.
#include <gtest/gtest.h>

#include <algorithm>

#include "CliRun.h"
#include "cli/Json.h"
#include "dialogue/Report.h"
#include "sim/EmulatedFirmware.h"
#include "sim/SampleImage.h"
#include "tests/sim/RecordingSink.h"

using vellox::cli::Json;

namespace {

std::string sample(const TempDir& dir, std::size_t size, std::string_view product = "V201") {
    return write_file(dir / "image.bin", sim::make_sample_image(size, product)).string();
}

}  // namespace

TEST(CliList, ShowsEveryInterfaceWithKeyVersionAccessLengthsAndSupport) {
    CliResult r = run_cli({"--simulate", "list"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto lines = r.out_lines();
    ASSERT_EQ(lines.size(), 1u) << r.out;
    // "<path> FFFF2016 version=0100 read-write input=65 output=65 supported"
    const std::size_t space = lines[0].find(' ');
    ASSERT_NE(space, std::string::npos);
    EXPECT_FALSE(lines[0].substr(0, space).empty());
    EXPECT_EQ(lines[0].substr(space),
              " FFFF2016 version=0100 read-write input=65 output=65 supported");

    CliResult q = run_cli({"--simulate=fault=query-only", "list"});
    ASSERT_EQ(q.code, 0) << q.err;
    EXPECT_NE(q.out.find(" query-only "), std::string::npos) << q.out;
}

TEST(CliList, JsonIsOneObjectThatParsesBack) {
    CliResult r = run_cli({"--simulate", "--json", "list"});
    ASSERT_EQ(r.code, 0) << r.err;
    Json doc = Json::parse(r.out);
    auto& devices = doc["devices"];
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0]["key"].get<std::string>(), "FFFF2016");
    EXPECT_EQ(devices[0]["version"].get<std::int64_t>(), 0x0100);
    EXPECT_TRUE(devices[0]["read_write"].get<bool>());
    EXPECT_EQ(devices[0]["input_report_length"].get<std::int64_t>(), 65);
    EXPECT_EQ(devices[0]["output_report_length"].get<std::int64_t>(), 65);
    EXPECT_TRUE(devices[0]["supported"].get<bool>());
}

TEST(CliInfo, LabelsOfTheFirstTableThenProductAndCapacity) {
    CliResult r = run_cli({"--simulate=serial=SN-42", "info"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out_lines(), (std::vector<std::string>{
                                 "Hardware Version: V1.2    ",
                                 "Product ID: V201",
                                 "Application Version: 1.0.7   ",
                                 "RF Version: 2.1     ",
                                 "Icon Version: 1.3     ",
                                 "SN: SN-42           ",
                                 "Product identifier: V201",
                                 "Capacity: 131072 bytes",
                             }));
}

TEST(CliInfo, AnE2ProductGetsTheSecondTableAndSkippedFieldsLeaveNoGap) {
    CliResult r = run_cli({"--simulate=product=E201,capacity=96K,rf=,icon=%07x", "info"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out_lines(), (std::vector<std::string>{
                                 "Hardware Version: V1.2    ",
                                 "Hardware Date: E201",
                                 "Boot Version: 1.0.7   ",
                                 "Application Date: VX2016-000123   ",
                                 "Product identifier: E201",
                                 "Capacity: 98304 bytes",
                             }));
}

TEST(CliInfo, DeviceBytesNeverReachTheTerminalRaw) {
    // Only a field's first byte decides whether it is shown; the rest is whatever came.
    CliResult r = run_cli({"--simulate=serial=ok%1B[2J%07", "info"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1B'), std::string::npos);
    EXPECT_NE(r.out.find("SN: ok\\x1B[2J\\x07"), std::string::npos) << r.out;
}

TEST(CliInfo, DeviceTextsAreSingleByteCharactersShownAsUtf8) {
    // Latin-1 here (the ANSI code page on Windows); control characters, C1 ones too, escaped.
    CliResult r = run_cli({"--simulate=serial=caf%E9%9B%1B", "info"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("SN: caf\xC3\xA9\\xC2\\x9B\\x1B"), std::string::npos) << r.out;
    r = run_cli({"--simulate=serial=caf%E9", "--json", "info"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out)["serial"].get<std::string>(), "caf\xC3\xA9");
}

TEST(CliInfo, JsonParsesBackWithFieldsProductAndCapacity) {
    CliResult r = run_cli({"--simulate=product=E2x9,capacity=64K", "--json", "info"});
    ASSERT_EQ(r.code, 0) << r.err;
    Json doc = Json::parse(r.out);
    EXPECT_TRUE(doc["ok"].get<bool>());
    EXPECT_EQ(doc["label_table"].get<std::string>(), "Language_st_e2");
    EXPECT_EQ(doc["product_id"].get<std::string>(), "E2x9");
    EXPECT_EQ(doc["capacity"].get<std::int64_t>(), 65536);
    // The serial number whatever the label table calls its field, without its padding.
    EXPECT_EQ(doc["serial"].get<std::string>(), "VX2016-000123");
    auto& fields = doc["fields"];
    ASSERT_EQ(fields.size(), 6u);
    EXPECT_EQ(fields[1]["label"].get<std::string>(), "Hardware Date");
    EXPECT_EQ(fields[1]["value"].get<std::string>(), "E2x9");
    EXPECT_EQ(fields[5]["label"].get<std::string>(), "Application Date");
}

TEST(CliInfo, HiddenInformationStillGivesCapacityButNoFields) {
    CliResult r = run_cli({"--simulate=gate=1", "info"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Product identifier: \nCapacity: 131072 bytes\n");
}

TEST(CliDownload, HundredKibLeaveTheFlashEqualToTheImage) {
    TempDir dir;
    const auto image = sim::make_sample_image(100 * 1024);
    const std::string path = write_file(dir / "fw.bin", image).string();
    const std::string dump = (dir / "flash.bin").string();
    CliResult r = run_cli({"--simulate", "--simulate-dump=" + dump, "download", path});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Download OK!\n");
    // Not a terminal: one line per phase.
    EXPECT_EQ(r.err, "Erase......\nWriting......\nVerify......\nOVER......\n");

    const auto flash = read_file(dump);
    ASSERT_EQ(flash.size(), 128u * 1024u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + static_cast<std::ptrdiff_t>(image.size()), flash.end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
}

TEST(CliDownload, OnATerminalOneLineRedrawsWithPhaseAndPercentage) {
    TempDir dir;
    CliResult r = run_cli({"--simulate", "download", sample(dir, 4096)}, /*terminal=*/true);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err.find("Erase......\n"), std::string::npos) << "phases must not get own lines";
    EXPECT_NE(r.err.find("\rErase...... 0%\x1B[K"), std::string::npos);
    EXPECT_NE(r.err.find("\rErase...... 100%\x1B[K"), std::string::npos);
    EXPECT_NE(r.err.find("\rWriting...... 0%\x1B[K"), std::string::npos);
    EXPECT_EQ(r.err.back(), '\n');
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
}

TEST(CliDownload, JsonLinesOfTheDeviceThenProgressThenTheResult) {
    TempDir dir;
    CliResult r = run_cli({"--simulate", "--json", "download", sample(dir, 3000)});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::string> phases;
    int last_percent = -1;
    std::string last_phase;
    const auto lines = r.out_lines();
    ASSERT_FALSE(lines.empty());
    // Who is flashed comes first, for a station's record.
    Json device = Json::parse(lines[0]);
    EXPECT_EQ(device["event"].get<std::string>(), "device");
    EXPECT_EQ(device["serial"].get<std::string>(), "VX2016-000123");
    EXPECT_EQ(device["product_id"].get<std::string>(), "V201");
    EXPECT_EQ(device["capacity"].get<std::int64_t>(), 128 * 1024);
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        Json event = Json::parse(lines[i]);
        if (event["event"].get<std::string>() == "phase") {
            phases.push_back(event["text"].get<std::string>());
        } else {
            ASSERT_EQ(event["event"].get<std::string>(), "progress");
            const int percent = static_cast<int>(event["percent"].get<std::int64_t>());
            if (event["phase"].get<std::string>() == last_phase) {
                EXPECT_GT(percent, last_percent);
            }
            EXPECT_LE(percent, 100);
            last_phase = event["phase"].get<std::string>();
            last_percent = percent;
        }
    }
    EXPECT_EQ(phases, (std::vector<std::string>{"Erase......", "Writing......", "Verify......",
                                                "OVER......"}));
    Json result = Json::parse(lines.back());
    EXPECT_EQ(result["event"].get<std::string>(), "result");
    EXPECT_TRUE(result["ok"].get<bool>());
    EXPECT_EQ(result["message"].get<std::string>(), "Download OK!");
    EXPECT_EQ(result["exit_code"].get<std::int64_t>(), 0);
    EXPECT_EQ(result["bytes"].get<std::int64_t>(), 3000);
}

TEST(CliDownload, EveryFailureHasItsMessageAndExitCode) {
    TempDir dir;
    const std::string image = sample(dir, 5000);
    const std::string big = write_file(dir / "big.bin", sim::make_sample_image(2048)).string();
    // More blocks than the ring holds, so that a device that stops echoing fills it.
    const std::string long_image =
        write_file(dir / "long.bin", sim::make_sample_image(300 * 58)).string();
    const struct {
        std::string settings;
        std::string file;
        std::string message;
        int code;
        bool also_json = true;
    } cases[] = {
        {"fault=silence", image, "Time out  error", 13},
        {"fault=corrupt-echo:5", image, "Verify error", 16},
        {"fault=wrong-verify-sum", image, "Verify error", 16},
        // Its time-out is a full second; once is enough.
        {"fault=no-finish-reply", image, "Time out  error", 13, false},
        {"fault=echo-stop:3", long_image, "Write  error __", 20},
        {"fault=refuse-writes", image, "HID out Data error", 12},
        {"fault=query-only", image, "HID out Data error", 12},
        {"fault=unplug-after:20", image, " no connected", 11},
        {"capacity=1K", big, "Size of file is error", 6},
        {"product=E201", image, "Product ID is error", 7},
        {"capacity=0", image, "The device reports no flash capacity; nothing was written.", 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        // Erase progress as fast as the device can send it: the faults lie elsewhere.
        const std::string settings = "--simulate=erase-pace=0," + c.settings;
        CliResult r = run_cli({settings, "download", c.file});
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.out, "");
        ASSERT_FALSE(r.err_lines().empty());
        EXPECT_EQ(r.err_lines().back(), c.message);
        if (!c.also_json) continue;

        CliResult j = run_cli({settings, "--json", "download", c.file});
        EXPECT_EQ(j.code, c.code);
        const auto lines = j.out_lines();
        ASSERT_FALSE(lines.empty());
        Json last = Json::parse(lines.back());
        EXPECT_EQ(last["event"].get<std::string>(), "result");
        EXPECT_FALSE(last["ok"].get<bool>());
        EXPECT_EQ(last["exit_code"].get<std::int64_t>(), c.code);
        EXPECT_EQ(last["message"].get<std::string>(), c.message);
    }
}

TEST(CliDownload, ADeviceWithoutEraseRepliesIsStillWritten) {
    TempDir dir;
    CliResult r = run_cli({"--simulate=fault=no-erase-replies", "download", sample(dir, 1000)});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Download OK!\n");
}

TEST(CliTrace, EveryReportSentAndReceivedInOrder) {
    TempDir dir;
    const sim::EmulatedDeviceSettings settings;
    const auto image = sim::make_sample_image(58);
    const std::string path = write_file(dir / "one-block.bin", image).string();
    CliResult r = run_cli({"--simulate", "--trace", "download", path});
    ASSERT_EQ(r.code, 0) << r.err;

    // What was sent, by the dialogue's rules. OutReport is also the image sum's chunk buffer,
    // so commands carry image bytes where they set nothing themselves.
    using Report = std::array<std::uint8_t, vellox::ReportLength>;
    std::vector<Report> sent;
    Report out{};
    auto send = [&](std::uint8_t command, std::uint32_t address, std::uint8_t length) {
        out[1] = command;
        vellox::put_address24(out, address);
        out[5] = length;
        out[64] = vellox::report_checksum(out);
        sent.push_back(out);
    };
    send(vellox::CMD_INFO, 0, 0);
    std::copy(image.begin(), image.end(), out.begin());
    send(vellox::CMD_ERASE, 0, 1);
    std::copy(image.begin(), image.end(), out.begin() + 6);
    send(vellox::CMD_WRITE, 0, 58);
    send(vellox::CMD_VERIFY, 57, 2);
    send(vellox::CMD_FINISH, 0, 0);
    std::fill(out.begin() + 2, out.end(), 0);
    send(vellox::CMD_INFO, 0, 0);

    // What a device with the same settings answers to exactly those reports.
    sim::EmulatedFirmware firmware(settings);
    std::vector<std::string> expected;
    for (const Report& report : sent) {
        sim::test::RecordingSink sink;
        firmware.on_output_report(std::span(report).subspan(1), sim::Clock::now(), sink);
        expected.push_back(" ");
        expected.push_back("out->:" + vellox::hex_bytes(std::span(report).subspan(1, 64)));
        for (const auto& reply : sink.sent)
            expected.push_back("IN<-  " + vellox::hex_bytes(reply.data));
    }

    std::vector<std::string> traced;
    for (const std::string& line : r.err_lines()) {
        if (line == " " || line.starts_with("out->:") || line.starts_with("IN<-  ")) {
            traced.push_back(line);
        }
    }
    EXPECT_EQ(traced, expected);
    EXPECT_EQ(expected.size(), 2u * 6u + 1u + 10u + 1u + 1u + 1u + 1u);
}

TEST(CliWait, FindsADeviceThatIsPluggedInLater) {
    CliResult r = run_cli({"--simulate=plug-after=300ms", "--wait=20", "info"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Product identifier: V201"), std::string::npos);

    // Without --wait the device is not there yet.
    CliResult now = run_cli({"--simulate=plug-after=300ms", "info"});
    EXPECT_EQ(now.code, 3);
    EXPECT_EQ(now.err, "No HID device\n");
}

TEST(CliWait, GivesUpWhenNoDeviceAppearsInTime) {
    // How long it waits is the loop's own test; here what it says when it gives up.
    CliResult r = run_cli({"--simulate=plug-after=60s", "--wait=1", "--json", "info"});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "No HID device\n");
    EXPECT_EQ(Json::parse(r.out)["exit_code"].get<std::int64_t>(), 3);
}

TEST(CliDevice, ChoosesTheInterfaceByPath) {
    CliResult list = run_cli({"--simulate", "list"});
    ASSERT_EQ(list.code, 0);
    const std::string path = list.out.substr(0, list.out.find(' '));

    CliResult chosen = run_cli({"--simulate", "--device", path, "info"});
    EXPECT_EQ(chosen.code, 0) << chosen.err;

    CliResult other = run_cli({"--simulate", "--device", "/dev/hidraw99", "info"});
    EXPECT_EQ(other.code, 3);
    EXPECT_EQ(other.err, "No HID device at /dev/hidraw99\n");
}

TEST(CliLock, AnotherProgramsDownloadMakesDownloadAndInfoSendNothingAndExitWith22) {
    TempDir dir;
    const std::string image = sample(dir, 5000);
    const std::string settings = "--simulate=fault=locked-elsewhere";
    const std::string untouched = (dir / "untouched").string();
    ASSERT_EQ(run_cli({settings, "--simulate-dump=" + untouched, "list"}).code, 0);

    const std::string after = (dir / "after").string();
    CliResult download =
        run_cli({settings, "--trace", "--simulate-dump=" + after, "download", image});
    EXPECT_EQ(download.code, 22);
    EXPECT_EQ(download.out, "");
    EXPECT_EQ(download.err.find("out->"), std::string::npos) << download.err;
    ASSERT_FALSE(download.err_lines().empty());
    EXPECT_EQ(download.err_lines().back(),
              "Another program is flashing the device; nothing was written.");
    EXPECT_EQ(read_file(after), read_file(untouched));

    CliResult info = run_cli({settings, "--trace", "info"});
    EXPECT_EQ(info.code, 22);
    EXPECT_EQ(info.err, "Another program is flashing the device\n");

    // --wait waits for its bound, then gives up the same way.
    CliResult waited = run_cli({settings, "--wait=1", "--json", "download", image});
    EXPECT_EQ(waited.code, 22);
    const auto lines = waited.out_lines();
    ASSERT_FALSE(lines.empty());
    Json last = Json::parse(lines.back());
    EXPECT_EQ(last["event"].get<std::string>(), "result");
    EXPECT_FALSE(last["ok"].get<bool>());
    EXPECT_EQ(last["exit_code"].get<std::int64_t>(), 22);
    CliResult info_json = run_cli({settings, "--json", "info"});
    EXPECT_EQ(Json::parse(info_json.out)["exit_code"].get<std::int64_t>(), 22);
}
