// Device selection and the information query as the user sees them in the window.
#include <gtest/gtest.h>

#include "WindowRig.h"

namespace vellox::window_test {
namespace {

QString Q(const char* s) { return QString::fromUtf8(s); }

// Column 0 and 1 of the information rows, header excluded.
std::vector<std::pair<QString, QString>> Rows(const TMainForm& w) {
    std::vector<std::pair<QString, QString>> rows;
    for (int r = 1; r < w.StringGrid1.RowCount(); ++r) {
        rows.emplace_back(w.StringGrid1.Cells(0, r), w.StringGrid1.Cells(1, r));
    }
    return rows;
}

TEST(WindowSelection, PlugShowsThePanelAndTheQueryFollowsEightyTicksLater) {
    WindowRig w;
    w.FormActivate();
    EXPECT_EQ(w.status(), Q("No HID device"));
    EXPECT_TRUE(w.Panel2.isHidden());

    w.plug(QuickDevice());  // noticed through the platform's change notification alone
    EXPECT_FALSE(w.Panel2.isHidden());
    EXPECT_EQ(w.status(), QString());
    EXPECT_FALSE(w.status_red());

    w.run_ticks(QueryDelayTicks - 1);
    EXPECT_EQ(w.info_queries(), 0);
    EXPECT_TRUE(w.StringGrid1.isHidden());
    w.run_ticks(1);
    EXPECT_EQ(w.info_queries(), 1);
    w.run_ticks(200);
    EXPECT_EQ(w.info_queries(), 1) << "the automatic query runs once";

    ASSERT_FALSE(w.StringGrid1.isHidden());
    EXPECT_EQ(w.StringGrid1.Cells(0, 0), Q("Information"));
    EXPECT_EQ(w.StringGrid1.Cells(1, 0), Q("Content"));
    const std::vector<std::pair<QString, QString>> expected = {
        {Q("Hardware Version"), Q("V1.2    ")},    {Q("Product ID"), Q("V201")},
        {Q("Application Version"), Q("1.0.7   ")}, {Q("RF Version"), Q("2.1     ")},
        {Q("Icon Version"), Q("1.3     ")},        {Q("SN"), Q("VX2016-000123   ")}};
    EXPECT_EQ(Rows(w), expected);
    EXPECT_EQ(w.Dialogue().ProductId, "V201");
    EXPECT_EQ(w.Dialogue().FlashSize, 131072u);  // capacity bytes 0x00 0x80
}

TEST(WindowSelection, ProductIdentifierChoosesTheLabelTable) {
    struct Case {
        const char* product;
        bool e2;
    };
    for (const Case c :
         {Case{"E2xx", true}, Case{"E201", true}, Case{"e2xx", false}, Case{"2Exx", false}}) {
        SCOPED_TRACE(c.product);
        WindowRig w;
        auto s = QuickDevice();
        s.product_id = c.product;
        w.connect(s);
        const auto rows = Rows(w);
        ASSERT_EQ(rows.size(), 6u);
        EXPECT_EQ(rows[1].first, c.e2 ? Q("Hardware Date") : Q("Product ID"));
        EXPECT_EQ(rows[5].first, c.e2 ? Q("Application Date") : Q("SN"));
        EXPECT_EQ(rows[1].second, Q(c.product));
        // The active table is the chosen one.
        EXPECT_EQ(w.Language_str, c.e2 ? w.Language_st_e2 : w.Language0);
    }
}

TEST(WindowSelection, FieldsWithoutAPrintableFirstByteLeaveNoGap) {
    WindowRig w;
    auto s = QuickDevice();
    s.hardware_version = "";  // first byte 0
    s.application_version =
        "\x7F"
        "abc";                // first byte 127, rest readable
    s.icon_version = " 1.3";  // a blank is printable
    w.connect(s);
    const auto rows = Rows(w);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].first, Q("Product ID"));
    EXPECT_EQ(rows[1].first, Q("RF Version"));
    EXPECT_EQ(rows[2], std::make_pair(Q("Icon Version"), Q(" 1.3    ")));
    EXPECT_EQ(rows[3].first, Q("SN"));
}

TEST(WindowSelection, DisplayGateKeepsTheGridHiddenButSetsTheCapacity) {
    WindowRig w;
    auto s = QuickDevice();
    s.display_gate = 1;
    s.capacity = 64 * 1024;
    w.connect(s);
    EXPECT_EQ(w.info_queries(), 1);
    EXPECT_TRUE(w.StringGrid1.isHidden());
    EXPECT_EQ(w.Dialogue().FlashSize, 65536u);
    EXPECT_EQ(w.Dialogue().ProductId, "");
}

TEST(WindowSelection, UnplugShowsNoDeviceAndCutsTheGrid) {
    WindowRig w;
    auto d = w.connect(QuickDevice());
    ASSERT_EQ(w.StringGrid1.RowCount(), 7);
    w.unplug(d);
    EXPECT_EQ(w.status(), Q("No HID device"));
    EXPECT_TRUE(w.Panel2.isHidden());
    EXPECT_EQ(w.StringGrid1.RowCount(), 1);
    EXPECT_EQ(w.Dialogue().SelectedDevice, nullptr);
    // A send now finds no device.
    w.VerifyClick();
    EXPECT_EQ(w.Dialogue().StatusCode, DialogueStatus::NotConnected);
}

TEST(WindowSelection, AnotherDeviceRebuildsTheListAndQueriesAgain) {
    WindowRig w;
    w.connect(QuickDevice());
    ASSERT_EQ(w.info_queries(), 1);
    w.plug_other(0x046D, 0xC077);
    EXPECT_FALSE(w.Panel2.isHidden());
    EXPECT_EQ(w.Dialogue().DevListBox.size(), 1u);
    w.run_ticks(QueryDelayTicks - 1);
    EXPECT_EQ(w.info_queries(), 1);
    w.run_ticks(3);
    EXPECT_EQ(w.info_queries(), 2);
    EXPECT_EQ(Rows(w).size(), 6u) << "a second reply rebuilds the grid from row 1";
    EXPECT_FALSE(w.StringGrid1.isHidden());
}

TEST(WindowSelection, QueryOnlyInterfaceIsSelectedButCannotBeWritten) {
    WindowRig w;
    sim::VirtualDeviceSetup setup;
    setup.exclusive = true;
    w.plug(QuickDevice(), setup);
    w.FormActivate();
    EXPECT_FALSE(w.Panel2.isHidden());
    w.run_ticks(QueryDelayTicks);
    EXPECT_NE(w.Dialogue().SelectedDevice, nullptr);
    EXPECT_EQ(w.Dialogue().StatusCode, DialogueStatus::WriteRefused);
    EXPECT_EQ(w.info_queries(), 0);
    EXPECT_TRUE(w.error_boxes.empty()) << "the query reports nothing";
}

// A system where the supported device is there but this user may not open it.
struct DeniedPlatform : sim::VirtualHidPlatform {
    std::vector<std::string> denied_paths(std::uint16_t vendor,
                                          std::uint16_t product) const override {
        if (vendor != 0xFFFF || product != 0x2016) return {};
        return {"/dev/hidraw7"};
    }
    std::string access_advice(const std::string& path) const override {
        return "the whole advice for " + path;
    }
};

TEST(WindowSelection, NoDevicePointsAtTheUdevRuleWhenAccessIsDenied) {
    WindowRig w(std::make_shared<DeniedPlatform>());
    w.FormActivate();
    EXPECT_EQ(w.status(), Q("No permission for /dev/hidraw7: a udev rule is needed"));
    EXPECT_EQ(w.StatusBar1.toolTip(), Q("the whole advice for /dev/hidraw7"));
    EXPECT_FALSE(w.status_red());

    // A device that can be opened clears the advice.
    w.plug(QuickDevice());
    EXPECT_EQ(w.status(), QString());
    EXPECT_EQ(w.StatusBar1.toolTip(), QString());
}

TEST(WindowSelection, ErrorsTurnTheStatusBarRedAndRaiseOneBox) {
    WindowRig w;
    w.connect(QuickDevice());
    ASSERT_TRUE(w.Dialogue().ReadBtnDown);
    w.Dialogue().show_error(DialogueStatus{3});
    EXPECT_TRUE(w.status_red());
    EXPECT_EQ(w.status(), Q("Time out  error"));
    ASSERT_EQ(w.error_boxes.size(), 1u);
    EXPECT_EQ(w.error_boxes[0], Q("Time out  error"));
    // Focus back from the program's own box is an activation: reading is switched off.
    EXPECT_FALSE(w.Dialogue().ReadBtnDown);

    w.Dialogue().show_error(DialogueStatus{0});
    EXPECT_EQ(w.error_boxes.size(), 1u);

    // Once a close is requested, boxes return at once.
    w.show();
    w.close();
    w.Dialogue().show_error(DialogueStatus{6});
    EXPECT_EQ(w.error_boxes.size(), 1u);
    EXPECT_EQ(w.status(), Q("Verify error"));
}

TEST(WindowSelection, FirstShowingActivatesTheWindow) {
    WindowRig w;
    w.plug(QuickDevice());
    EXPECT_TRUE(w.Panel2.isHidden()) << "nothing is selected before the first activation";
    w.show();
    w.pump_until([&] { return !w.Panel2.isHidden(); }, 100);
    EXPECT_FALSE(w.Panel2.isHidden());
    EXPECT_TRUE(w.HidCtl->DeviceChangeFired());
}

}  // namespace
}  // namespace vellox::window_test
