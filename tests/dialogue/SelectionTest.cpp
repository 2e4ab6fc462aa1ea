// Device selection and the automatic information query.
#include <gtest/gtest.h>

#include "kit/DialogueRig.h"
#include "sim/EmulatedFirmware.h"

namespace vellox {
namespace {

using testkit::DialogueRig;
using testkit::FakeDeviceSetup;
using testkit::make_reply;

std::shared_ptr<sim::EmulatedFirmware> firmware(sim::EmulatedDeviceSettings s = {}) {
    return std::make_shared<sim::EmulatedFirmware>(s);
}

std::size_t queries(const testkit::FakeHidDevice& dev) {
    return static_cast<std::size_t>(std::count_if(dev.writes.begin(), dev.writes.end(),
                                                  [](const auto& w) { return w[1] == CMD_INFO; }));
}

TEST(DeviceKey, EightUpperCaseHexDigits) {
    EXPECT_EQ(device_key({12, 0x00AB, 0x0C00, 0}), "00AB0C00");
    EXPECT_EQ(device_key({12, 0xFFFF, 0x2016, 0}), "FFFF2016");
    EXPECT_EQ(device_key({12, 0xabcd, 0xef01, 0}), "ABCDEF01");
}

TEST(Selection, NoDeviceAtFirstActivation) {
    DialogueRig rig;
    rig.plug({0xFFFF, 0x2017});  // same vendor, another product: not ours
    rig.dialogue->FormActivate();
    EXPECT_EQ(rig.host.status, "No HID device");
    EXPECT_FALSE(rig.host.panel_visible);
    EXPECT_TRUE(rig.dialogue->DevListBox.empty());
    EXPECT_EQ(rig.dialogue->SelectedDevice, nullptr);
}

TEST(Selection, PlugQueryAfterEightyTicksThenUnplug) {
    DialogueRig rig;
    rig.dialogue->FormActivate();
    auto dev = rig.plug({}, firmware());
    DeviceDialogue& d = *rig.dialogue;
    ASSERT_EQ(d.DevListBox.size(), 1u);
    EXPECT_EQ(d.DevListBox[0].key, "FFFF2016");
    EXPECT_NE(d.SelectedDevice, nullptr);
    EXPECT_FALSE(d.ReadBtnDown);
    EXPECT_TRUE(rig.host.panel_visible);
    EXPECT_EQ(rig.host.status, "");

    rig.run_ticks(79);
    EXPECT_EQ(queries(*dev), 0u);
    rig.run_ticks(1);
    EXPECT_EQ(queries(*dev), 1u);
    EXPECT_TRUE(d.ReadBtnDown);
    EXPECT_FALSE(d.Timer2Enabled);
    rig.settle();

    EXPECT_TRUE(rig.host.grid.visible);
    EXPECT_EQ(rig.host.label_table, LabelTable::Language0);
    ASSERT_EQ(rig.host.grid.rows.size(), 6u);
    EXPECT_EQ(rig.host.grid.rows[0],
              (std::pair<std::string, std::string>{"Hardware Version", "V1.2    "}));
    EXPECT_EQ(rig.host.grid.rows[1], (std::pair<std::string, std::string>{"Product ID", "V201"}));
    EXPECT_EQ(rig.host.grid.rows[5].first, "SN");
    EXPECT_EQ(d.ProductId, "V201");
    EXPECT_EQ(d.FlashSize, 131072u);

    rig.run_ticks(500);  // the automatic query runs once
    EXPECT_EQ(queries(*dev), 1u);

    rig.unplug(dev);
    EXPECT_EQ(rig.host.status, "No HID device");
    EXPECT_FALSE(rig.host.panel_visible);
    EXPECT_EQ(rig.host.grid.row_count(), 1);
    EXPECT_EQ(d.SelectedDevice, nullptr);
    // The released record is no longer written to.
    d.OutReport[1] = CMD_INFO;
    d.send_report(d.StatusCode, 10);
    EXPECT_EQ(d.StatusCode, DialogueStatus::NotConnected);
}

TEST(Selection, AnyDeviceChangeRebuildsAndQueriesAgain) {
    DialogueRig rig;
    rig.dialogue->FormActivate();
    auto dev = rig.plug({}, firmware());
    rig.run_ticks(80);
    rig.settle();
    ASSERT_EQ(queries(*dev), 1u);
    THidDevice* before = rig.dialogue->SelectedDevice;
    ASSERT_TRUE(rig.dialogue->ReadBtnDown);

    auto mouse = rig.plug({0x046D, 0xC077});
    EXPECT_FALSE(rig.dialogue->ReadBtnDown);
    EXPECT_EQ(rig.dialogue->DevListBox.size(), 1u);
    EXPECT_NE(rig.dialogue->SelectedDevice, nullptr);
    EXPECT_NE(rig.dialogue->SelectedDevice, before);  // checked in and out afresh
    EXPECT_EQ(rig.reader_of(*dev), nullptr);
    rig.run_ticks(80);
    EXPECT_EQ(queries(*dev), 2u);
    EXPECT_TRUE(mouse->writes.empty());
}

TEST(Selection, TwoSupportedDevicesListBothAndSelectTheFirst) {
    DialogueRig rig;
    auto first = rig.plug({}, firmware());
    auto second = rig.plug({}, firmware());
    rig.dialogue->FormActivate();
    ASSERT_EQ(rig.dialogue->DevListBox.size(), 2u);
    rig.run_ticks(80);
    EXPECT_EQ(queries(*first), 1u);
    EXPECT_EQ(queries(*second), 0u);
}

TEST(Selection, QueryOnlyInterfaceIsSelectedButWritesFail) {
    DialogueRig rig;
    FakeDeviceSetup setup;
    setup.read_write = false;
    rig.plug(setup);
    rig.dialogue->FormActivate();
    DeviceDialogue& d = *rig.dialogue;
    ASSERT_NE(d.SelectedDevice, nullptr);
    rig.run_ticks(80);
    EXPECT_FALSE(d.ReadBtnDown);
    EXPECT_FALSE(d.SelectedDevice->HasReadThread());
    EXPECT_EQ(d.StatusCode, DialogueStatus::WriteRefused);
}

TEST(Selection, ActivationSwitchesReadingOffUntilTheNextQuery) {
    DialogueRig rig;
    rig.dialogue->FormActivate();
    auto dev = rig.plug({}, firmware());
    rig.run_ticks(80);
    ASSERT_NE(rig.reader_of(*dev), nullptr);
    rig.dialogue->FormActivate();
    EXPECT_EQ(rig.reader_of(*dev), nullptr);
    rig.dialogue->VerifyClick();
    EXPECT_NE(rig.reader_of(*dev), nullptr);
}

// --- The information reply -----------------------------------------------------------------

class InformationReply : public ::testing::Test {
  protected:
    void deliver(const std::vector<std::uint8_t>& reply) {
        d.OutReport[1] = CMD_INFO;
        d.HidDevData(nullptr, 0, reply.data(), static_cast<std::uint16_t>(reply.size()));
    }
    // A reply with six printable fields; `product` at bytes 14..17.
    std::vector<std::uint8_t> reply(const char* product = "V201", std::uint8_t gate = 0,
                                    std::uint8_t cap_hi = 0x00, std::uint8_t cap_lo = 0x80) {
        std::vector<std::pair<int, std::uint8_t>> bytes = {{4, gate}, {62, cap_hi}, {63, cap_lo}};
        for (int b : {6, 22, 30, 38, 46}) bytes.push_back({b, 'A'});
        for (int i = 0; i < 4; ++i)
            bytes.push_back({14 + i, static_cast<std::uint8_t>(product[i])});
        auto r = make_reply(CMD_INFO);
        for (auto [pos, v] : bytes) r[static_cast<std::size_t>(pos - 1)] = v;
        unsigned sum = 0;
        for (int i = 0; i < 63; ++i) sum += r[static_cast<std::size_t>(i)];
        r[63] = static_cast<std::uint8_t>(sum);
        return r;
    }
    static std::vector<std::uint8_t> with(std::vector<std::uint8_t> r, int byte, std::uint8_t v) {
        r[static_cast<std::size_t>(byte - 1)] = v;
        unsigned sum = 0;
        for (int i = 0; i < 63; ++i) sum += r[static_cast<std::size_t>(i)];
        r[63] = static_cast<std::uint8_t>(sum);
        return r;
    }

    DialogueRig rig;
    DeviceDialogue& d = *rig.dialogue;
};

TEST_F(InformationReply, LabelTableFollowsAnUpperCaseEThenTwo) {
    deliver(reply("E2xx"));
    EXPECT_EQ(d.ActiveLabelTable, LabelTable::Language_st_e2);
    EXPECT_EQ(rig.host.grid.rows[1].first, "Hardware Date");
    EXPECT_EQ(d.ProductId, "E2xx");  // stored whichever table labels it
    deliver(reply("e2xx"));
    EXPECT_EQ(d.ActiveLabelTable, LabelTable::Language0);
    deliver(reply("2Exx"));
    EXPECT_EQ(d.ActiveLabelTable, LabelTable::Language0);
    EXPECT_EQ(rig.host.grid.rows[1].first, "Product ID");
}

TEST_F(InformationReply, FieldsWithAnUnprintableFirstByteLeaveNoGap) {
    auto r = with(with(reply(), 6, 0x00), 22, 127);  // fields 0 and 2 skipped
    r = with(r, 30, ' ');                            // a blank is printable
    r = with(r, 31, 0x01);                           // only the first byte is tested
    deliver(r);
    ASSERT_EQ(d.StringGrid1.rows.size(), 4u);
    EXPECT_EQ(d.StringGrid1.rows[0].first, "Product ID");
    EXPECT_EQ(d.StringGrid1.rows[1].first, "RF Version");
    EXPECT_EQ(d.StringGrid1.rows[1].second.size(), 8u);
    EXPECT_EQ(d.StringGrid1.rows[1].second[1], '\x01');
    EXPECT_EQ(d.StringGrid1.rows[3].second.size(), 16u);

    // Nothing printable at all: the header and one empty row.
    auto none = reply();
    for (int b : {6, 14, 22, 30, 38, 46}) none = with(none, b, 0);
    deliver(none);
    ASSERT_EQ(d.StringGrid1.rows.size(), 1u);
    EXPECT_EQ(d.StringGrid1.rows[0], (std::pair<std::string, std::string>{}));
    EXPECT_TRUE(d.StringGrid1.visible);
    EXPECT_TRUE(d.ProductId.empty());
}

TEST_F(InformationReply, DisplayGateHidesTheGridButNotTheCapacity) {
    deliver(reply("V201", 1, 0x01, 0x00));
    EXPECT_FALSE(rig.host.grid.visible);
    EXPECT_EQ(rig.host.grid.rows.size(), 6u);
    EXPECT_TRUE(d.ProductId.empty());
    EXPECT_EQ(d.FlashSize, 256u * 1024);

    deliver(reply("V201", 0, 0x00, 0x80));
    EXPECT_EQ(d.FlashSize, 131072u);
    deliver(reply("V201", 0, 0xFF, 0xFF));
    EXPECT_EQ(d.FlashSize, 0xFFFFu * 1024);
    deliver(reply("V201", 0, 0x00, 0x00));
    EXPECT_EQ(d.FlashSize, 0u);
}

TEST_F(InformationReply, SecondReplyRebuildsFromRowOne) {
    deliver(reply());
    ASSERT_EQ(d.StringGrid1.rows.size(), 6u);
    deliver(with(with(reply("W301"), 6, 0), 38, 0));
    ASSERT_EQ(d.StringGrid1.rows.size(), 4u);
    EXPECT_EQ(d.StringGrid1.rows[0].second, "W301");
    EXPECT_EQ(d.ProductId, "W301");
}

TEST_F(InformationReply, QueryResetsTheDisplayBeforeAnyReply) {
    deliver(reply());
    d.VerifyClick();  // no device: the send fails quietly
    EXPECT_EQ(d.StatusCode, DialogueStatus::NotConnected);
    EXPECT_TRUE(rig.host.error_boxes.empty());
    EXPECT_FALSE(rig.host.grid.visible);
    EXPECT_EQ(rig.host.grid.row_count(), 2);
    EXPECT_TRUE(d.ProductId.empty());
    EXPECT_EQ(d.FlashSize, 131072u);  // kept
}

}  // namespace
}  // namespace vellox
