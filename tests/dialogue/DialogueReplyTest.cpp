// Sending, judging replies and the reply countdown.
#include <gtest/gtest.h>

#include "kit/DialogueRig.h"
#include "sim/EmulatedFirmware.h"

namespace vellox {
namespace {

using testkit::DialogueRig;
using testkit::make_reply;

void deliver_raw(DeviceDialogue& d, const std::vector<std::uint8_t>& data) {
    d.HidDevData(nullptr, 0, data.data(), static_cast<std::uint16_t>(data.size()));
}

void prepare_info(DeviceDialogue& d) {
    std::fill(d.OutReport.begin() + 2, d.OutReport.begin() + 65, 0);
    d.OutReport[1] = CMD_INFO;
}

TEST(SendReport, WithoutDeviceGivesOneAndLeavesARunningCountdownAlone) {
    DialogueRig rig;
    DeviceDialogue& d = *rig.dialogue;
    d.TimeoutTicks = 7;
    d.ReplyFlag = true;
    d.OutReport[1] = CMD_FINISH;
    d.send_report(d.StatusCode, 50);
    EXPECT_EQ(d.StatusCode, DialogueStatus::NotConnected);
    EXPECT_FALSE(d.ReplyFlag);
    EXPECT_EQ(d.TimeoutTicks, 7);
    EXPECT_EQ(d.OutReport[64], CMD_FINISH);  // framed all the same
}

TEST(SendReport, FramesAndWritesSixtyFiveBytesAndArmsTheCountdown) {
    DialogueRig rig;
    auto dev = rig.plug();
    rig.dialogue->FormActivate();
    DeviceDialogue& d = *rig.dialogue;
    ASSERT_NE(d.SelectedDevice, nullptr);

    d.OutReport[0] = 0x33;  // the report ID is always put back to 0
    d.OutReport[1] = CMD_ERASE;
    put_address24(d.OutReport, 0);
    d.OutReport[5] = 1;
    d.OutReport[6] = 0xF0;  // left over from earlier use: covered by the checksum
    d.StatusCode = DialogueStatus::WriteRfsnError;
    d.send_report(d.StatusCode, 100);

    EXPECT_EQ(d.StatusCode, DialogueStatus::Ok);
    EXPECT_EQ(d.TimeoutTicks, 100);
    EXPECT_TRUE(d.Timer1Enabled);
    ASSERT_EQ(dev->writes.size(), 1u);
    const auto& w = dev->writes[0];
    ASSERT_EQ(w.size(), 65u);
    EXPECT_EQ(w[0], 0);
    EXPECT_EQ(w[1], CMD_ERASE);
    EXPECT_EQ(w[64], report_checksum(w));
    EXPECT_TRUE(std::equal(w.begin(), w.end(), d.OutReport.begin()));
}

TEST(SendReport, RefusedWriteGivesTwoWithoutArming) {
    DialogueRig rig;
    sim::EmulatedDeviceSettings settings;
    settings.faults.refuse_writes = true;
    rig.plug({}, std::make_shared<sim::EmulatedFirmware>(settings));
    rig.dialogue->FormActivate();
    DeviceDialogue& d = *rig.dialogue;
    d.TimeoutTicks = 0;
    prepare_info(d);
    d.send_report(d.StatusCode, 10);
    EXPECT_EQ(d.StatusCode, DialogueStatus::WriteRefused);
    EXPECT_EQ(d.TimeoutTicks, 0);
}

TEST(SendReport, ReportLengthBeyondTheBufferIsARefusedWrite) {
    DialogueRig rig;
    testkit::FakeDeviceSetup setup;
    setup.output_length = 9000;  // more than OutReport holds
    auto dev = rig.plug(setup);
    rig.dialogue->FormActivate();
    DeviceDialogue& d = *rig.dialogue;
    prepare_info(d);
    d.send_report(d.StatusCode, 10);
    EXPECT_EQ(d.StatusCode, DialogueStatus::WriteRefused);
    EXPECT_TRUE(dev->writes.empty());
}

TEST(Countdown, ZeroTicksArmNothingAndAReplyDoesNotStopIt) {
    DialogueRig rig;
    rig.plug();
    rig.dialogue->FormActivate();
    DeviceDialogue& d = *rig.dialogue;
    rig.dialogue->Timer2Enabled = false;

    prepare_info(d);
    d.send_report(d.StatusCode, 0);
    rig.run_ticks(500);
    EXPECT_EQ(d.StatusCode, DialogueStatus::Ok);

    d.OutReport[1] = CMD_FINISH;
    d.send_report(d.StatusCode, 10);
    deliver_raw(d, make_reply(CMD_FINISH));
    EXPECT_TRUE(d.ReplyFlag);
    rig.run_ticks(9);
    EXPECT_EQ(d.StatusCode, DialogueStatus::Ok);
    rig.run_ticks(1);
    EXPECT_EQ(d.StatusCode, DialogueStatus::TimedOut);
    EXPECT_FALSE(d.Timer1Enabled);
    EXPECT_EQ(d.TimeoutTicks, 0);

    // An erase reply after the countdown ended sets the ticks but restarts nothing.
    deliver_raw(d, make_reply(CMD_ERASE, {{6, 40}}));
    EXPECT_EQ(d.TimeoutTicks, 100);
    rig.run_ticks(20);
    EXPECT_EQ(d.TimeoutTicks, 100);
    EXPECT_EQ(d.EraseProgress, 40);
}

TEST(Replies, OnlySixtyFourBytesWithAGoodChecksumAndTheSameCommandAreAccepted) {
    DialogueRig rig;
    DeviceDialogue& d = *rig.dialogue;
    d.OutReport[1] = CMD_FINISH;
    auto good = make_reply(CMD_FINISH);

    auto shorter = good;
    shorter.pop_back();
    deliver_raw(d, shorter);
    EXPECT_FALSE(d.ReplyFlag);

    auto longer = good;
    longer.push_back(0);
    deliver_raw(d, longer);
    EXPECT_FALSE(d.ReplyFlag);

    auto bad_sum = good;
    bad_sum[63] ^= 1;
    deliver_raw(d, bad_sum);
    EXPECT_FALSE(d.ReplyFlag);

    deliver_raw(d, make_reply(CMD_VERIFY));
    EXPECT_FALSE(d.ReplyFlag);

    deliver_raw(d, good);
    EXPECT_TRUE(d.ReplyFlag);
    EXPECT_EQ(d.StatusCode, DialogueStatus::Ok);
}

TEST(Replies, HugeReportIsCutToTheBufferAndIgnored) {
    DialogueRig rig;
    DeviceDialogue& d = *rig.dialogue;
    std::vector<std::uint8_t> huge(65535, 0x11);
    deliver_raw(d, huge);
    EXPECT_EQ(d.InReport[8192], 0x11);
    EXPECT_FALSE(d.ReplyFlag);
}

TEST(Replies, EraseProgressCountsWhateverIsOutstandingButFlagsOnlyAnErase) {
    DialogueRig rig;
    DeviceDialogue& d = *rig.dialogue;
    d.OutReport[1] = CMD_INFO;
    d.TimeoutTicks = 3;
    deliver_raw(d, make_reply(CMD_ERASE, {{6, 55}}));
    EXPECT_EQ(d.EraseProgress, 55);
    EXPECT_EQ(d.TimeoutTicks, 100);
    EXPECT_FALSE(d.ReplyFlag);

    auto bad = make_reply(CMD_ERASE, {{6, 99}});
    bad[63] ^= 0xFF;
    deliver_raw(d, bad);
    EXPECT_EQ(d.EraseProgress, 55);

    d.OutReport[1] = CMD_ERASE;
    deliver_raw(d, make_reply(CMD_ERASE, {{6, 100}}));
    EXPECT_EQ(d.EraseProgress, 100);
    EXPECT_TRUE(d.ReplyFlag);
}

TEST(Replies, WriteEchoFreesTheOldestSlotOnlyWhenAllSixtyFourBytesMatch) {
    DialogueRig rig;
    DeviceDialogue& d = *rig.dialogue;
    d.OutReport[1] = CMD_WRITE;
    const auto block0 = make_reply(CMD_WRITE, {{5, 58}, {6, 0xAA}});
    const auto block1 = make_reply(CMD_WRITE, {{4, 58}, {5, 58}, {6, 0xBB}});
    std::copy(block0.begin(), block0.end(), d.BlockRing[0].begin());
    std::copy(block1.begin(), block1.end(), d.BlockRing[1].begin());
    d.BlocksSent = 2;

    deliver_raw(d, block1);  // out of order: compared with slot 0
    EXPECT_EQ(d.StatusCode, DialogueStatus::VerifyFailed);
    EXPECT_EQ(d.BlocksConfirmed, 0);

    d.StatusCode = DialogueStatus::Ok;
    deliver_raw(d, block0);
    EXPECT_EQ(d.StatusCode, DialogueStatus::Ok);
    EXPECT_EQ(d.BlocksConfirmed, 1);
    EXPECT_EQ(d.BlockRing[0][0], 0);

    deliver_raw(d, block1);
    EXPECT_EQ(d.BlocksConfirmed, 2);
    EXPECT_EQ(d.StatusCode, DialogueStatus::Ok);
}

TEST(Replies, EchoMatchingSixtyThreeBytesFailsAndTheSlotStays) {
    DialogueRig rig;
    DeviceDialogue& d = *rig.dialogue;
    d.OutReport[1] = CMD_WRITE;
    const auto echo = make_reply(CMD_WRITE, {{5, 58}, {6, 0xAA}});
    std::copy(echo.begin(), echo.end(), d.BlockRing[0].begin());
    d.BlockRing[0][40] ^= 0x01;  // one byte of 64 differs
    d.BlocksSent = 1;

    deliver_raw(d, echo);
    EXPECT_EQ(d.StatusCode, DialogueStatus::VerifyFailed);
    EXPECT_TRUE(d.ReplyFlag);
    EXPECT_EQ(d.BlocksConfirmed, 0);
    EXPECT_EQ(d.BlockRing[0][0], CMD_WRITE);

    d.StatusCode = DialogueStatus::Ok;
    deliver_raw(d, echo);  // the same slot again, with the same result
    EXPECT_EQ(d.StatusCode, DialogueStatus::VerifyFailed);
    EXPECT_EQ(d.BlocksConfirmed, 0);

    d.BlockRing[0][40] ^= 0x01;
    d.StatusCode = DialogueStatus::Ok;
    deliver_raw(d, echo);
    EXPECT_EQ(d.StatusCode, DialogueStatus::Ok);
    EXPECT_EQ(d.BlocksConfirmed, 1);
}

TEST(ShowError, RedStatusAndOneBoxForFailuresOnly) {
    DialogueRig rig;
    DeviceDialogue& d = *rig.dialogue;
    d.show_error(DialogueStatus{0});
    d.show_error(DialogueStatus{-1});
    EXPECT_EQ(rig.host.status, "Idle");
    EXPECT_TRUE(rig.host.error_boxes.empty());

    d.show_error(DialogueStatus{11});
    EXPECT_EQ(rig.host.status, "other error");
    EXPECT_EQ(rig.host.status_colour, StatusColour::Red);
    d.show_error(DialogueStatus{3});
    EXPECT_EQ(rig.host.error_boxes, (std::vector<std::string>{"other error", "Time out  error"}));
}

}  // namespace
}  // namespace vellox
