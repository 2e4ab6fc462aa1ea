// The exact lines the dialogue writes into Memo4 with its trace switched on.
#include <gtest/gtest.h>

#include "kit/DialogueRig.h"

namespace vellox {
namespace {

TEST(Trace, OutLinesComeWithABlankLineEvenWithoutADevice) {
    testkit::DialogueRig rig;
    DeviceDialogue& d = *rig.dialogue;
    std::fill(d.OutReport.begin(), d.OutReport.end(), 0);
    d.OutReport[1] = CMD_WRITE;
    d.OutReport[5] = 0x3A;
    d.OutReport[63] = 0xAB;
    d.TraceEnabled = false;
    d.send_report(d.StatusCode, 30);
    EXPECT_TRUE(rig.host.memo.empty()) << "switched off, nothing is traced";
    d.TraceEnabled = true;
    d.send_report(d.StatusCode, 30);
    EXPECT_EQ(d.StatusCode, DialogueStatus::NotConnected);
    ASSERT_EQ(rig.host.memo.size(), 2u);
    EXPECT_EQ(rig.host.memo[0], " ");
    const std::string expected = "out->:0C0000003A" + std::string(57 * 2, '0') + "AB" + "F1";
    EXPECT_EQ(rig.host.memo[1], expected);
}

TEST(Trace, InLinesListExactlyTheBytesReceived) {
    testkit::DialogueRig rig;
    DeviceDialogue& d = *rig.dialogue;
    d.TraceEnabled = true;
    const std::uint8_t three[] = {0x10, 0x0a, 0xFF};
    d.HidDevData(nullptr, 0, three, 3);
    const std::uint8_t none[1] = {};
    d.HidDevData(nullptr, 0, none, 0);
    auto reply = testkit::make_reply(CMD_ERASE, {{6, 0x64}});
    d.HidDevData(nullptr, 0, reply.data(), 64);
    ASSERT_EQ(rig.host.memo.size(), 3u);
    EXPECT_EQ(rig.host.memo[0], "IN<-  100AFF");
    EXPECT_EQ(rig.host.memo[1], "IN<-  ");
    EXPECT_EQ(rig.host.memo[2].size(), 6u + 128u);
    EXPECT_EQ(rig.host.memo[2].substr(0, 18), "IN<-  100000000064");
    EXPECT_EQ(rig.host.memo[2].substr(132), "74");
}

}  // namespace
}  // namespace vellox
