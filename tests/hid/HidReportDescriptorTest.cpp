#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "hid/HidReportDescriptor.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Vendor-defined device: one 64-byte input and one 64-byte output report, no report IDs.
const Bytes kVendor64 = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x02,
                         0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40,
                         0x81, 0x02, 0x09, 0x03, 0x95, 0x40, 0x91, 0x02, 0xC0};

// The standard boot-protocol keyboard descriptor: 8-byte input, 1-byte LED output.
const Bytes kBootKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};

// Numbered reports of different sizes: input 1 = 8 bytes, input 2 = 32 bytes, output 3 =
// 16 bytes, feature 4 = 2 bytes.
const Bytes kNumbered = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08,
                         0x85, 0x01, 0x95, 0x08, 0x09, 0x01, 0x81, 0x02,  //
                         0x85, 0x02, 0x95, 0x20, 0x09, 0x01, 0x81, 0x02,  //
                         0x85, 0x03, 0x95, 0x10, 0x09, 0x01, 0x91, 0x02,  //
                         0x85, 0x04, 0x95, 0x02, 0x09, 0x01, 0xB1, 0x02,  //
                         0xC0};

// Push/Pop: 20 bytes with size 16 x 10 between Push and Pop, then 4 bytes with the popped
// size 8 x 4, plus a long item that must be skipped.
const Bytes kPushPop = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x04,
                        0xA4,                                //
                        0x75, 0x10, 0x95, 0x0A, 0x81, 0x02,  //
                        0xB4,                                //
                        0xFE, 0x02, 0x10, 0xAA, 0xBB,        //
                        0x81, 0x02, 0xC0};

TEST(HidReportDescriptor, LengthsCountTheReportIdByte) {
    struct Case {
        const char* name;
        const Bytes* descriptor;
        std::uint16_t input, output, feature;
        bool numbered;
        std::uint16_t usage_page, usage;
    };
    const Case cases[] = {
        {"vendor 64/64", &kVendor64, 65, 65, 0, false, 0xFF00, 0x01},
        {"boot keyboard", &kBootKeyboard, 9, 2, 0, false, 0x01, 0x06},
        {"numbered", &kNumbered, 33, 17, 3, true, 0xFF00, 0x01},
        {"push/pop", &kPushPop, 25, 0, 0, false, 0xFF00, 0x01},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto parsed = parse_hid_report_descriptor(*c.descriptor);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->Caps.InputReportByteLength, c.input);
        EXPECT_EQ(parsed->Caps.OutputReportByteLength, c.output);
        EXPECT_EQ(parsed->Caps.FeatureReportByteLength, c.feature);
        EXPECT_EQ(parsed->NumberedReports, c.numbered);
        EXPECT_EQ(parsed->Caps.UsagePage, c.usage_page);
        EXPECT_EQ(parsed->Caps.Usage, c.usage);
    }
}

TEST(HidReportDescriptor, EmptyDescriptorHasNoReports) {
    const auto parsed = parse_hid_report_descriptor({});
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Caps.InputReportByteLength, 0);
    EXPECT_EQ(parsed->Caps.OutputReportByteLength, 0);
}

TEST(HidReportDescriptor, MalformedDescriptorsAreRejected) {
    const std::pair<const char*, Bytes> cases[] = {
        {"truncated item", {0x06, 0x00}},
        {"truncated long item", {0xFE, 0x05, 0x10, 0x01}},
        {"pop without push", {0xB4}},
        {"end collection without collection", {0xC0}},
        {"unclosed collection", {0xA1, 0x01}},
        {"report id 0", {0x85, 0x00}},
        {"report too long",
         {0x77, 0xFF, 0xFF, 0x00, 0x00, 0x97, 0xFF, 0xFF, 0x00, 0x00, 0x81, 0x02}},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(parse_hid_report_descriptor(bytes));
    }
}

TEST(HidReportDescriptor, EveryTruncationAndRandomBytesAreHandled) {
    // Each prefix of a real descriptor is either rejected or parsed to sane lengths.
    for (std::size_t n = 0; n < kBootKeyboard.size(); ++n) {
        const auto parsed = parse_hid_report_descriptor(std::span(kBootKeyboard).first(n));
        if (parsed) {
            EXPECT_LE(parsed->Caps.InputReportByteLength, 9);
        }
    }
    std::mt19937 random(2016);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 2000; ++round) {
        Bytes noise(static_cast<std::size_t>(round % 97));
        for (auto& b : noise) b = static_cast<std::uint8_t>(byte(random));
        (void)parse_hid_report_descriptor(noise);
    }
}

}  // namespace
