#include <gtest/gtest.h>

#include "dialogue/Report.h"

namespace vellox {
namespace {

TEST(ReportChecksum, CoversBytesOneToSixtyThreeOnly) {
    ReportBuffer r{};
    EXPECT_EQ(report_checksum(r), 0);  // an all-zero query

    r[0] = 0x55;             // report ID: not counted
    r[ByteChecksum] = 0x77;  // the checksum byte itself: not counted
    EXPECT_EQ(report_checksum(r), 0);

    r[1] = 0xFF;
    r[63] = 0x01;  // 256 wraps to 0
    EXPECT_EQ(report_checksum(r), 0);

    r[1] = 0x10;
    r[5] = 0x01;
    r[63] = 0x02;
    EXPECT_EQ(report_checksum(r), 0x13);

    for (std::size_t i = 1; i < 64; ++i) r[i] = 0xFF;
    EXPECT_EQ(report_checksum(r), static_cast<std::uint8_t>(63 * 0xFF));
}

TEST(ReportAddress, BigEndianLowTwentyFourBits) {
    ReportBuffer r{};
    put_address24(r, 0x007FC8);
    EXPECT_EQ(r[2], 0x00);
    EXPECT_EQ(r[3], 0x7F);
    EXPECT_EQ(r[4], 0xC8);
    put_address24(r, 0x12ABCDEF);  // bits above 23 are dropped
    EXPECT_EQ(r[2], 0xAB);
    EXPECT_EQ(r[3], 0xCD);
    EXPECT_EQ(r[4], 0xEF);
    EXPECT_EQ(r[1], 0x00);
    EXPECT_EQ(r[5], 0x00);
}

TEST(StatusMessage, ExactTexts) {
    EXPECT_EQ(status_message(DialogueStatus{1}), " no connected");
    EXPECT_EQ(status_message(DialogueStatus{2}), "HID out Data error");
    EXPECT_EQ(status_message(DialogueStatus{3}), "Time out  error");
    EXPECT_EQ(status_message(DialogueStatus{4}), "No Data respond");
    EXPECT_EQ(status_message(DialogueStatus{5}), "Chip ID error");
    EXPECT_EQ(status_message(DialogueStatus{6}), "Verify error");
    EXPECT_EQ(status_message(DialogueStatus{7}), "DEBUG LOCKED");
    EXPECT_EQ(status_message(DialogueStatus{8}), "Write SN error");
    EXPECT_EQ(status_message(DialogueStatus{9}), "Write RFSN error");
    EXPECT_EQ(status_message(DialogueStatus{10}), "Write  error __");
    EXPECT_EQ(status_message(DialogueStatus{11}), "other error");
    EXPECT_EQ(status_message(DialogueStatus{1000}), "other error");
    EXPECT_TRUE(status_message(DialogueStatus{0}).empty());
    EXPECT_TRUE(status_message(DialogueStatus{-5}).empty());
}

TEST(HexBytes, UpperCaseTwoDigitsNoSeparators) {
    const std::uint8_t bytes[] = {0x0C, 0x00, 0xAB, 0xFF, 0x7F};
    EXPECT_EQ(hex_bytes(bytes), "0C00ABFF7F");
    EXPECT_EQ(hex_bytes({}), "");
}

}  // namespace
}  // namespace vellox
