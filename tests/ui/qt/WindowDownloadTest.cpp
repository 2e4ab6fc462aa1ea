// The download as the user sees it in the window: the button, the file dialog, the status
// texts, the gauge, the boxes, and what ends up in the emulated device.
#include <gtest/gtest.h>

#include <algorithm>

#include "WindowRig.h"
#include "sim/SampleImage.h"

namespace vellox::window_test {
namespace {

QString Q(const char* s) { return QString::fromUtf8(s); }

std::vector<std::uint8_t> Image(std::size_t size, const char* product = "V201") {
    return sim::make_sample_image(size, product);
}

bool FlashHolds(const WindowRig& w, const std::vector<std::uint8_t>& image) {
    const auto flash = w.model->firmware->flash();
    return flash.size() >= image.size() && std::equal(image.begin(), image.end(), flash.begin());
}

bool Saw(const WindowRig& w, const char* text) {
    return std::any_of(w.status_history.begin(), w.status_history.end(),
                       [&](const auto& s) { return s.second == Q(text); });
}

TEST(WindowDownload, FullCapacityImageIsFlashedAndTheGridRefreshed) {
    WindowRig w;
    w.connect(QuickDevice());
    ASSERT_EQ(w.Dialogue().FlashSize, 128u * 1024u);
    const auto image = Image(128 * 1024);  // exactly FlashSize
    w.offer_image(image);

    bool gauge_seen = false;
    w.on_pump = [&] {
        if (w.status() == Q("Writing......") && !w.Gauge1.isHidden()) {
            gauge_seen =
                gauge_seen || (w.Gauge1.MaxValue() == 128 * 1024 && w.Gauge1.Progress() > 0);
        }
    };
    w.Write_car.click();

    EXPECT_EQ(w.status(), Q("Download OK!"));
    EXPECT_FALSE(w.status_red());
    EXPECT_TRUE(w.error_boxes.empty());
    EXPECT_TRUE(w.message_boxes.empty());
    EXPECT_EQ(w.dialogs, 1);
    EXPECT_TRUE(FlashHolds(w, image));
    EXPECT_TRUE(gauge_seen);
    EXPECT_TRUE(w.Gauge1.isHidden());
    EXPECT_FALSE(w.Download().Busy);
    EXPECT_FALSE(w.Memo4.isHidden()) << "Memo4 stays visible after a download";
    for (const char* phase : {"Erase......", "Writing......", "Verify......", "OVER......"}) {
        EXPECT_TRUE(Saw(w, phase)) << phase;
    }
    // The closing query's reply rebuilds the grid.
    const int queries = w.info_queries();
    EXPECT_EQ(queries, 2);
    w.run_ticks(5);
    EXPECT_FALSE(w.StringGrid1.isHidden());
    EXPECT_EQ(w.StringGrid1.RowCount(), 7);
}

TEST(WindowDownload, OneByteOverCapacityIsRefusedBeforeAnythingIsSent) {
    WindowRig w;
    w.connect(QuickDevice());
    const auto written = w.device->written_reports().size();
    w.offer_image(Image(128 * 1024 + 1));
    w.Write_car.click();
    ASSERT_EQ(w.message_boxes.size(), 1u);
    EXPECT_EQ(w.message_boxes[0], Q("Size of file is error"));
    EXPECT_EQ(w.device->written_reports().size(), written);
    EXPECT_TRUE(w.Gauge1.isHidden());
    EXPECT_FALSE(w.Download().Busy);
}

TEST(WindowDownload, WrongProductIdentifierSendsNothing) {
    WindowRig w;
    w.connect(QuickDevice());
    const auto written = w.device->written_reports().size();
    w.offer_image(Image(4096, "X999"));
    w.Write_car.click();
    ASSERT_EQ(w.message_boxes.size(), 1u);
    EXPECT_EQ(w.message_boxes[0], Q("Product ID is error"));
    EXPECT_EQ(w.device->written_reports().size(), written);
    EXPECT_EQ(w.model->firmware->erase_count(), 0u);
    EXPECT_FALSE(w.Download().Busy);
}

TEST(WindowDownload, NoCapacityYetOpensNoDialog) {
    WindowRig w;
    w.plug(QuickDevice());
    w.FormActivate();
    ASSERT_EQ(w.Dialogue().FlashSize, 0u);
    w.offer_image(Image(4096));
    w.Write_car.click();
    EXPECT_EQ(w.dialogs, 0);
    EXPECT_FALSE(w.Memo4.isHidden());
    EXPECT_EQ(w.Memo4.toPlainText(), QString()) << "cleared and shown";
    EXPECT_TRUE(w.message_boxes.empty());
    EXPECT_FALSE(w.Download().Busy);
}

TEST(WindowDownload, CancelledDialogSendsNothing) {
    WindowRig w;
    w.connect(QuickDevice());
    const auto written = w.device->written_reports().size();
    w.file.reset();
    w.Write_car.click();
    EXPECT_EQ(w.dialogs, 1);
    EXPECT_EQ(w.device->written_reports().size(), written);
    EXPECT_FALSE(w.Download().Busy);
}

TEST(WindowDownload, ClickWhileBusyChangesNothing) {
    WindowRig w;
    w.connect(QuickDevice());
    const auto image = Image(20 * 1024);
    w.offer_image(image);
    int clicks = 0;
    w.on_pump = [&] {
        if (clicks < 3 && w.status() == Q("Writing......")) {
            ++clicks;
            w.Write_car.click();
        }
    };
    w.Write_car.click();
    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(w.dialogs, 1);
    EXPECT_EQ(w.model->firmware->erase_count(), 1u);
    EXPECT_EQ(w.status(), Q("Download OK!"));
    EXPECT_TRUE(FlashHolds(w, image));
}

TEST(WindowDownload, DownloadRightAfterAMessageBoxWorks) {
    WindowRig w;
    w.connect(QuickDevice());
    w.offer_image(Image(4096, "X999"));
    w.Write_car.click();
    ASSERT_EQ(w.message_boxes.size(), 1u);
    ASSERT_FALSE(w.Dialogue().ReadBtnDown) << "the box's closing switched reading off";

    const auto image = Image(30 * 1024);
    w.offer_image(image);
    w.Write_car.click();
    EXPECT_EQ(w.status(), Q("Download OK!"));
    EXPECT_TRUE(w.error_boxes.empty());
    EXPECT_TRUE(FlashHolds(w, image));
}

TEST(WindowDownload, FailuresShowTheirMessageAndEndCleanly) {
    struct Case {
        const char* name;
        void (*fault)(sim::FirmwareFaults&);
        const char* message;
    };
    const Case cases[] = {
        {"echo mismatch", [](sim::FirmwareFaults& f) { f.corrupt_echo_at = 40; }, "Verify error"},
        {"echoes stop", [](sim::FirmwareFaults& f) { f.echo_limit = 20; }, "Write  error __"},
        {"wrong verify sum", [](sim::FirmwareFaults& f) { f.wrong_verify_sum = true; },
         "Verify error"},
        {"no finish reply", [](sim::FirmwareFaults& f) { f.no_finish_reply = true; },
         "Time out  error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig w;
        auto s = QuickDevice();
        c.fault(s.faults);
        w.connect(s);
        w.offer_image(Image(20 * 1024));
        w.Write_car.click();
        ASSERT_EQ(w.error_boxes.size(), 1u);
        EXPECT_EQ(w.error_boxes[0], Q(c.message));
        EXPECT_EQ(w.status(), Q(c.message));
        EXPECT_TRUE(w.status_red());
        EXPECT_TRUE(w.Gauge1.isHidden());
        EXPECT_FALSE(w.Download().Busy);
    }
}

TEST(WindowDownload, UnplugWhileWritingEndsWithASendFailure) {
    WindowRig w;
    auto s = QuickDevice();
    s.faults.unplug_after = 50;
    w.connect(s);
    w.offer_image(Image(20 * 1024));
    w.Write_car.click();
    ASSERT_EQ(w.error_boxes.size(), 1u);
    EXPECT_TRUE(w.error_boxes[0] == Q(" no connected") ||
                w.error_boxes[0] == Q("HID out Data error"))
        << w.error_boxes[0].toStdString();
    EXPECT_TRUE(w.Gauge1.isHidden());
    EXPECT_FALSE(w.Download().Busy);
    // The unplug was noticed while the download pumped: the device is gone from the window.
    w.pump_until([&] { return w.Panel2.isHidden(); }, 1000);
    EXPECT_TRUE(w.Panel2.isHidden());
    EXPECT_TRUE(w.Dialogue().DevListBox.empty());
}

TEST(WindowDownload, NoEraseRepliesWaitAboutNinetyOneTicksThenWrite) {
    WindowRig w;
    auto s = QuickDevice();
    s.faults.no_erase_replies = true;
    w.connect(s);
    const auto image = Image(8 * 1024);
    w.offer_image(image);
    w.Write_car.click();
    long erase_at = -1, write_at = -1;
    for (const auto& [tick, text] : w.status_history) {
        if (text == Q("Erase......") && erase_at < 0) erase_at = tick;
        if (text == Q("Writing......") && write_at < 0) write_at = tick;
    }
    ASSERT_GE(erase_at, 0);
    ASSERT_GE(write_at, 0);
    EXPECT_NEAR(write_at - erase_at, 91, 2);
    EXPECT_EQ(w.status(), Q("Download OK!"));
    EXPECT_TRUE(FlashHolds(w, image));
}

TEST(WindowDownload, CloseDuringADownloadLetsItFinishAndSilencesBoxes) {
    WindowRig w;
    auto s = QuickDevice();
    s.faults.wrong_verify_sum = true;
    w.connect(s);
    w.show();
    w.offer_image(Image(20 * 1024));
    bool hiddenWhileBusy = false;
    w.on_pump = [&] {
        if (w.status() == Q("Writing......") && !w.closeRequested()) w.close();
        if (w.closeRequested() && w.Download().Busy) hiddenWhileBusy |= !w.isVisible();
    };
    w.Write_car.click();
    EXPECT_TRUE(w.closeRequested());
    EXPECT_FALSE(hiddenWhileBusy) << "in sight until the download returns";
    EXPECT_FALSE(w.isVisible()) << "and closed then";
    EXPECT_EQ(w.status(), Q("Verify error")) << "the download ran to its end";
    EXPECT_TRUE(w.error_boxes.empty()) << "the box after the close request returned at once";
    EXPECT_FALSE(w.Download().Busy);
}

}  // namespace
}  // namespace vellox::window_test
