// The download procedure against the emulated device.
#include <gtest/gtest.h>

#include <algorithm>

#include "DownloadRig.h"

namespace vellox {
namespace {

using testkit::DownloadRig;
using testkit::make_image;

std::uint32_t address_of(const std::vector<std::uint8_t>& w) {
    return (std::uint32_t{w[2]} << 16) | (std::uint32_t{w[3]} << 8) | w[4];
}

void expect_ended(const DownloadRig& r) {
    EXPECT_FALSE(r.host.gauge_visible);
    EXPECT_FALSE(r.download_engine.Busy);
}

sim::EmulatedDeviceSettings with_faults(sim::FirmwareFaults faults) {
    sim::EmulatedDeviceSettings s;
    s.faults = faults;
    return s;
}

TEST(Download, FullImageLandsByteForByteAndEndsWithAFreshQuery) {
    DownloadRig r;
    ASSERT_EQ(r.dialogue.FlashSize, 128u * 1024);
    ASSERT_EQ(r.dialogue.ProductId, "V201");
    const auto image = make_image(128 * 1024);
    r.pick(image);
    r.download();

    EXPECT_EQ(r.rig.host.status, "Download OK!");
    EXPECT_EQ(r.rig.host.status_colour, StatusColour::Normal);
    EXPECT_EQ(r.download_engine.Outcome, DownloadOutcome::Done);
    const std::vector<std::string> phases = {"Erase......", "Writing......", "Verify......",
                                             "OVER......", "Download OK!"};
    const auto& history = r.rig.host.status_history;
    ASSERT_GE(history.size(), phases.size());
    EXPECT_TRUE(std::equal(phases.begin(), phases.end(), history.end() - 5));
    EXPECT_TRUE(r.rig.host.error_boxes.empty());
    EXPECT_TRUE(r.host.message_boxes.empty());
    expect_ended(r);
    EXPECT_TRUE(r.rig.host.memo_visible);
    EXPECT_EQ(r.host.last_dialog.title, "Open File");
    EXPECT_EQ(r.host.last_dialog.filter, "bin file(*.bin)");

    const auto flash = r.firmware->flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_EQ(r.firmware->erase_count(), 1u);

    // Every report is framed, and the last one is the information query.
    for (const auto& w : r.writes()) {
        ASSERT_EQ(w.size(), 65u);
        EXPECT_EQ(w[0], 0);
        EXPECT_EQ(w[64], report_checksum(w));
    }
    EXPECT_EQ(r.writes().back()[1], CMD_INFO);
    r.rig.settle();
    EXPECT_EQ(r.dialogue.ProductId, "V201");
    EXPECT_TRUE(r.dialogue.StringGrid1.visible);
    EXPECT_EQ(r.dialogue.StringGrid1.rows.size(), 6u);
}

TEST(Download, ReportsCarryTheBlockPlanAndTheVerifyAddress) {
    DownloadRig r;
    const auto image = make_image(32770);
    r.pick(image);
    r.download();
    ASSERT_EQ(r.rig.host.status, "Download OK!");

    const auto blocks = r.writes_of(CMD_WRITE);
    ASSERT_EQ(blocks.size(), 566u);
    const auto& last56 = blocks[564];
    EXPECT_EQ(std::vector<int>(last56.begin() + 2, last56.begin() + 6),
              (std::vector<int>{0x00, 0x7F, 0xC8, 56}));
    const auto& last2 = blocks[565];
    EXPECT_EQ(std::vector<int>(last2.begin() + 2, last2.begin() + 6),
              (std::vector<int>{0x00, 0x80, 0x00, 2}));
    EXPECT_EQ(last2[6], image[32768]);
    EXPECT_EQ(last2[7], image[32769]);
    // Past the count the block carries what the previous read left in BlockBuffer.
    EXPECT_EQ(last2[8], image[32712 + 2]);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const auto& b = blocks[i];
        EXPECT_TRUE(std::equal(b.begin() + 6, b.begin() + 6 + b[5], image.begin() + address_of(b)))
            << "block " << i;
    }

    const auto verify = r.writes_of(CMD_VERIFY);
    ASSERT_EQ(verify.size(), 1u);
    EXPECT_EQ(address_of(verify[0]), 32769u);
    EXPECT_EQ(verify[0][5], 2);
}

TEST(Download, SmallImageIsOneWriteAndSixtyFourKiBGetsItsVerifyReport) {
    {
        DownloadRig r;
        r.pick(make_image(58));
        r.download();
        EXPECT_EQ(r.rig.host.status, "Download OK!");
        const auto blocks = r.writes_of(CMD_WRITE);
        ASSERT_EQ(blocks.size(), 1u);
        EXPECT_EQ(address_of(blocks[0]), 0u);
        EXPECT_EQ(blocks[0][5], 58);
    }
    {
        DownloadRig r;
        r.pick(make_image(65536));
        r.download();
        EXPECT_EQ(r.rig.host.status, "Download OK!");
        const auto verify = r.writes_of(CMD_VERIFY);
        ASSERT_EQ(verify.size(), 1u);
        EXPECT_EQ(std::vector<int>(verify[0].begin() + 1, verify[0].begin() + 6),
                  (std::vector<int>{CMD_VERIFY, 0x00, 0xFF, 0xFF, 2}));
        const auto finish = r.writes_of(CMD_FINISH);
        ASSERT_EQ(finish.size(), 1u);
        EXPECT_EQ(std::vector<int>(finish[0].begin() + 1, finish[0].begin() + 6),
                  (std::vector<int>{CMD_FINISH, 0, 0, 0, 0}));
    }
}

TEST(ReplyTicks, VerifyAndFinishFollowTheSizeAboveAFloorOfOneHundred) {
    EXPECT_EQ(finish_ticks(65536), 1260);
    EXPECT_EQ(verify_ticks(65536), 100);  // 63 by the size alone
    EXPECT_EQ(verify_ticks(1024 * 1024), 1023);
    EXPECT_EQ(finish_ticks(1024 * 1024), 20460);
    // Small images would otherwise wait for ever (0) or time out within a tick.
    EXPECT_EQ(verify_ticks(1), 100);
    EXPECT_EQ(finish_ticks(1024), 100);
    EXPECT_EQ(verify_ticks(1025), 100);
    EXPECT_EQ(finish_ticks(1025), 100);
}

TEST(Download, SmallImageWithASilentFinishTimesOut) {
    sim::FirmwareFaults f;
    f.no_finish_reply = true;
    DownloadRig r(with_faults(f));
    r.pick(make_image(100));
    r.download();
    EXPECT_EQ(r.rig.host.status, "Time out  error");
    EXPECT_EQ(r.rig.host.error_boxes, (std::vector<std::string>{"Time out  error"}));
    expect_ended(r);
}

TEST(Download, ImageAsLargeAsTheFlashIsTakenOneByteMoreIsRefused) {
    {
        DownloadRig r;
        r.pick(make_image(128 * 1024 + 1));
        r.download();
        EXPECT_EQ(r.host.message_boxes, (std::vector<std::string>{"Size of file is error"}));
        EXPECT_EQ(r.download_engine.Outcome, DownloadOutcome::SizeRefused);
        EXPECT_TRUE(r.writes_of(CMD_ERASE).empty());
        expect_ended(r);
    }
    {
        sim::EmulatedDeviceSettings s;
        s.capacity = 4 * 1024;
        DownloadRig r(s);
        const auto image = make_image(4 * 1024);
        r.pick(image);
        r.download();
        EXPECT_EQ(r.rig.host.status, "Download OK!");
        EXPECT_TRUE(std::equal(image.begin(), image.end(), r.firmware->flash().begin()));
    }
}

TEST(Download, ImagesOfSixteenMiBOrMoreAreRefused) {
    DownloadRig r;
    r.dialogue.FlashSize = 0xFFFFu * 1024;  // the largest capacity a device can state
    const auto path = r.pick(make_image(64));
    std::filesystem::resize_file(path, std::uint64_t{1} << 24);
    const auto sent = r.writes().size();
    r.download();
    EXPECT_EQ(r.host.message_boxes, (std::vector<std::string>{"Size of file is error"}));
    EXPECT_EQ(r.writes().size(), sent);
    expect_ended(r);
}

TEST(Download, WrongOrMissingProductIdSendsNothing) {
    DownloadRig r;
    const auto sent = r.writes().size();
    for (const auto& image : {make_image(1024, "V202"), make_image(1024, "v201"), make_image(27)}) {
        r.pick(image);
        r.download();
        EXPECT_EQ(r.download_engine.Outcome, DownloadOutcome::ProductRefused);
        expect_ended(r);
    }
    r.pick({});
    r.download();
    EXPECT_EQ(r.host.message_boxes, std::vector<std::string>(4, "Product ID is error"));
    EXPECT_EQ(r.writes().size(), sent);
    EXPECT_EQ(r.firmware->erase_count(), 0u);
}

TEST(Download, NoDialogWithoutDeviceInformationOrAfterCancelOrClose) {
    DownloadRig r;
    const auto sent = r.writes().size();
    r.download();  // the dialog is cancelled: no file
    EXPECT_EQ(r.host.dialogs, 1);
    EXPECT_EQ(r.download_engine.Outcome, DownloadOutcome::Cancelled);
    expect_ended(r);

    r.pick(make_image(1000));
    r.rig.host.closing = true;
    r.download();
    EXPECT_EQ(r.host.dialogs, 1);
    EXPECT_EQ(r.download_engine.Outcome, DownloadOutcome::Cancelled);
    r.rig.host.closing = false;

    r.dialogue.FlashSize = 0;
    r.rig.host.memo = {"old"};
    r.rig.host.memo_visible = false;
    r.download();
    EXPECT_EQ(r.host.dialogs, 1);
    EXPECT_EQ(r.download_engine.Outcome, DownloadOutcome::NoCapacity);
    EXPECT_TRUE(r.rig.host.memo.empty());
    EXPECT_TRUE(r.rig.host.memo_visible);
    EXPECT_EQ(r.writes().size(), sent);
    EXPECT_TRUE(r.host.message_boxes.empty());
}

TEST(Download, UnreadableFileEndsWithAFileReadError) {
    DownloadRig r;
    r.host.file = r.dir / "gone.bin";
    r.download();
    r.host.file = r.dir;  // a directory cannot be read as an image
    r.download();
    EXPECT_EQ(r.host.message_boxes, std::vector<std::string>(2, "File read error"));
    EXPECT_EQ(r.download_engine.Outcome, DownloadOutcome::FileError);
    EXPECT_EQ(r.firmware->erase_count(), 0u);
    expect_ended(r);
}

TEST(Download, FileShrinkingDuringTheWriteEndsWithoutEmptyBlocks) {
    DownloadRig r;
    const auto path = r.pick(make_image(20000));
    bool cut = false;
    auto pump = r.rig.host.pump;
    r.rig.host.pump = [&] {
        if (!cut && r.dialogue.OutReport[1] == CMD_WRITE) {
            std::filesystem::resize_file(path, 1000);
            cut = true;
        }
        pump();
    };
    r.download();
    // The device is half written: a failure like any other, not "Writing......".
    EXPECT_EQ(r.rig.host.status, "File read error");
    EXPECT_EQ(r.rig.host.status_colour, StatusColour::Red);
    EXPECT_EQ(r.rig.host.error_boxes, (std::vector<std::string>{"File read error"}));
    EXPECT_TRUE(r.host.message_boxes.empty());
    EXPECT_EQ(r.download_engine.Outcome, DownloadOutcome::FileError);
    expect_ended(r);
    const auto blocks = r.writes_of(CMD_WRITE);
    ASSERT_FALSE(blocks.empty());
    for (const auto& b : blocks) EXPECT_GT(b[5], 0);
    EXPECT_TRUE(r.writes_of(CMD_VERIFY).empty());
}

TEST(Download, AClickWhileBusyChangesNothing) {
    DownloadRig r;
    r.pick(make_image(5000));
    int clicks = 0;
    auto pump = r.rig.host.pump;
    r.rig.host.pump = [&] {
        if (clicks < 3) {
            ++clicks;
            r.download_engine.WRITE_24AAClick();
            EXPECT_TRUE(r.download_engine.Busy);
        }
        pump();
    };
    r.download();
    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(r.host.dialogs, 1);
    EXPECT_EQ(r.firmware->erase_count(), 1u);
    EXPECT_EQ(r.rig.host.status, "Download OK!");
}

TEST(Download, WorksRightAfterAWindowActivationSwitchedReadingOff) {
    DownloadRig r;
    r.dialogue.FormActivate();  // a message box of the program closed
    ASSERT_FALSE(r.dialogue.ReadBtnDown);
    r.pick(make_image(3000));
    r.download();
    EXPECT_EQ(r.rig.host.status, "Download OK!");
    EXPECT_EQ(r.rig.dropped, 0);
}

TEST(Download, ClosingDuringTheDownloadLetsItRunToItsEnd) {
    DownloadRig r;
    r.pick(make_image(3000));
    auto pump = r.rig.host.pump;
    r.rig.host.pump = [&] {
        r.rig.host.closing = true;
        pump();
    };
    r.download();
    EXPECT_EQ(r.rig.host.status, "Download OK!");
    expect_ended(r);
}

TEST(DownloadFailures, NoEraseRepliesDelayTheWriteByAboutNinetyOneTicks) {
    sim::FirmwareFaults f;
    f.no_erase_replies = true;
    DownloadRig r(with_faults(f));
    r.pick(make_image(2000));
    long erase_ticks = -1;
    const long start = r.rig.ticks;
    auto pump = r.rig.host.pump;
    r.rig.host.pump = [&] {
        if (erase_ticks < 0 && r.dialogue.OutReport[1] == CMD_WRITE)
            erase_ticks = r.rig.ticks - start;
        pump();
    };
    r.download();
    EXPECT_EQ(r.rig.host.status, "Download OK!");
    EXPECT_GE(erase_ticks, 90);
    EXPECT_LE(erase_ticks, 92);
}

TEST(DownloadFailures, EachFaultEndsWithItsMessage) {
    struct Case {
        const char* name;
        sim::FirmwareFaults faults;
        std::string message;
        DialogueStatus status;
    };
    using enum DialogueStatus;
    std::vector<Case> cases(5);
    cases[0] = {"corrupt echo", {}, "Verify error", VerifyFailed};
    cases[0].faults.corrupt_echo_at = 40;
    cases[1] = {"echoes stop", {}, "Write  error __", EchoesMissing};
    cases[1].faults.echo_limit = 100;
    cases[2] = {"wrong verify sum", {}, "Verify error", VerifyFailed};
    cases[2].faults.wrong_verify_sum = true;
    cases[3] = {"no finish reply", {}, "Time out  error", TimedOut};
    cases[3].faults.no_finish_reply = true;
    cases[4] = {"silence", {}, "Write  error __", EchoesMissing};
    cases[4].faults.silence = true;

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadRig r(with_faults(c.faults));
        if (c.faults.silence) {
            // A silent device never answers the query either.
            r.dialogue.FlashSize = 128 * 1024;
            r.dialogue.ProductId = "V201";
        }
        r.pick(make_image(40000));
        r.download();
        EXPECT_EQ(r.rig.host.status, c.message);
        EXPECT_EQ(r.rig.host.status_colour, StatusColour::Red);
        EXPECT_EQ(r.rig.host.error_boxes, (std::vector<std::string>{c.message}));
        EXPECT_EQ(r.download_engine.Outcome, DownloadOutcome::Failed);
        EXPECT_EQ(r.download_engine.FailedStatus, c.status);
        expect_ended(r);
    }
}

// Ticks from the first pump after the last output report until the download has ended.
// Blocks sent and not yet echoed.
std::uint32_t awaiting_echo(const DownloadRig& r) {
    return static_cast<std::uint8_t>(r.dialogue.BlocksSent - r.dialogue.BlocksConfirmed);
}

// Two reports for each block awaiting its echo, and one to spare, fit the queue; the ring bounds
// the rest.
TEST(Download, EchoWindowFollowsTheInputQueue) {
    EXPECT_EQ(echo_window(1024), 256u);
    EXPECT_EQ(echo_window(512), 255u);
    EXPECT_EQ(echo_window(63), 31u);
    EXPECT_EQ(echo_window(2), 1u);
    EXPECT_EQ(echo_window(0), 256u);
}

long ticks_after_last_send(DownloadRig& r) {
    std::size_t seen = 0;
    long last = 0;
    auto pump = r.rig.host.pump;
    r.rig.host.pump = [&] {
        if (r.writes().size() != seen) {
            seen = r.writes().size();
            last = r.rig.ticks;
        }
        pump();
    };
    r.download();
    r.rig.host.pump = pump;
    return r.rig.ticks - last;
}

TEST(DownloadFailures, SilentVerifyAndFinishEachTimeOutAfterTheirOwnTicks) {
    const std::uint32_t size = 40000;  // verify waits 100 ticks, finish 780
    for (const bool verify : {true, false}) {
        SCOPED_TRACE(verify ? "no verify reply" : "no finish reply");
        sim::EmulatedDeviceSettings s;
        (verify ? s.faults.no_verify_reply : s.faults.no_finish_reply) = true;
        DownloadRig r(s);
        r.pick(make_image(size));
        const long waited = ticks_after_last_send(r);
        EXPECT_EQ(r.dialogue.OutReport[1], verify ? CMD_VERIFY : CMD_FINISH);
        EXPECT_NEAR(waited, verify ? verify_ticks(size) : finish_ticks(size), 1);
        EXPECT_EQ(r.rig.host.error_boxes, (std::vector<std::string>{"Time out  error"}));
        expect_ended(r);
    }
}

TEST(DownloadFailures, EchoesStoppingShortOfAFullRingTimeOutInTheDrain) {
    sim::FirmwareFaults f;
    f.echo_limit = 680;
    DownloadRig r(with_faults(f));
    r.pick(make_image(40000));  // 690 blocks: 10 never echoed, fewer than the echo window
    const long waited = ticks_after_last_send(r);
    EXPECT_EQ(r.writes_of(CMD_WRITE).size(), 690u);
    EXPECT_TRUE(r.writes_of(CMD_VERIFY).empty());
    EXPECT_NEAR(waited, DrainTicks, 1);
    EXPECT_EQ(r.rig.host.error_boxes, (std::vector<std::string>{"Time out  error"}));
    expect_ended(r);
}

TEST(Download, EchoesLaggingBehindTheWritesDoNotFailTheDownload) {
    // The device takes writes at once but sends one input report per millisecond, so echoes
    // fall further behind with every block until the echo window is full.
    sim::EmulatedDeviceSettings s;
    s.capacity = 1024 * 1024;
    s.interval = std::chrono::milliseconds(1);
    DownloadRig r(s);
    const auto image = make_image(512 * 1024);
    r.pick(image);
    bool window_was_full = false;
    auto pump = r.rig.host.pump;
    r.rig.host.pump = [&] {
        window_was_full = window_was_full || awaiting_echo(r) >= echo_window(63);
        pump();
    };
    r.download();
    EXPECT_TRUE(window_was_full);
    EXPECT_EQ(r.rig.host.status, "Download OK!");
    EXPECT_TRUE(std::equal(image.begin(), image.end(), r.firmware->flash().begin()));
}

TEST(DownloadFailures, EchoesStoppingEndWithCodeTenAfterTheWriteTimeOut) {
    sim::FirmwareFaults f;
    f.echo_limit = 10;
    DownloadRig r(with_faults(f));
    r.pick(make_image(40000));
    long full_at = -1;
    auto pump = r.rig.host.pump;
    r.rig.host.pump = [&] {
        if (full_at < 0 && awaiting_echo(r) >= echo_window(63)) full_at = r.rig.ticks;
        pump();
    };
    r.download();
    EXPECT_EQ(r.rig.host.error_boxes, (std::vector<std::string>{"Write  error __"}));
    // Ten echoed, and as many in flight as the fake handle's 63-report queue allows.
    EXPECT_EQ(r.writes_of(CMD_WRITE).size(), 10u + 31u);
    ASSERT_GE(full_at, 0);
    EXPECT_NEAR(r.rig.ticks - full_at, 30, 1);
    expect_ended(r);
}

TEST(DownloadFailures, NoiseBetweenTheRepliesIsIgnored) {
    sim::FirmwareFaults f;
    f.noise = true;
    DownloadRig r(with_faults(f));
    const auto image = make_image(20000);
    r.pick(image);
    r.download();
    EXPECT_EQ(r.rig.host.status, "Download OK!");
    EXPECT_TRUE(std::equal(image.begin(), image.end(), r.firmware->flash().begin()));
}

TEST(DownloadFailures, UnplugDuringTheWriteEndsCleanly) {
    sim::FirmwareFaults f;
    f.unplug_after = 50;
    DownloadRig r(with_faults(f));
    r.pick(make_image(40000));
    r.download();
    const auto& status = r.rig.host.status;
    EXPECT_TRUE(status == " no connected" || status == "HID out Data error") << status;
    EXPECT_EQ(r.rig.host.error_boxes.size(), 1u);
    expect_ended(r);
    // The device change that follows leaves no selected record behind.
    r.rig.pump();
    EXPECT_EQ(r.dialogue.SelectedDevice, nullptr);
    EXPECT_FALSE(r.rig.host.panel_visible);
}

TEST(DownloadFailures, MissingDeviceEndsWithoutWaiting) {
    DownloadRig r;
    r.rig.unplug(r.device);
    ASSERT_EQ(r.dialogue.SelectedDevice, nullptr);
    r.pick(make_image(1000));
    const long start = r.rig.ticks;
    r.download();
    EXPECT_EQ(r.rig.host.status, " no connected");
    EXPECT_EQ(r.rig.host.error_boxes, (std::vector<std::string>{" no connected"}));
    EXPECT_LT(r.rig.ticks - start, 5);
    expect_ended(r);
}

}  // namespace
}  // namespace vellox
