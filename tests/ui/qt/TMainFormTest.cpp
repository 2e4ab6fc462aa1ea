#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPainter>

#include "sim/VirtualHidPlatform.h"
#include "ui/qt/SystemLook.h"
#include "ui/qt/TMainForm.h"

namespace vellox {
namespace {

// Windows of these tests run on a virtual backend with nothing plugged in. One controller
// exists per program, so one window at a time.
TMainFormOptions Quiet(bool startTimers = false) {
    return TMainFormOptions{.startTimers = startTimers,
                            .platform = std::make_shared<sim::VirtualHidPlatform>()};
}

class MainForm : public ::testing::Test {
  protected:
    TMainForm form{Quiet()};
};

TEST_F(MainForm, StartsInEnglishFromTheLanguageTable) {
    EXPECT_EQ(form.LanguageIndex, 1);
    EXPECT_EQ(form.LinesPerEntry, 4);
    EXPECT_EQ(form.language_button.text(), QStringLiteral("中文"));
    EXPECT_EQ(form.Write_car.text(), QStringLiteral("Download"));
    EXPECT_EQ(form.Verify.text(), QStringLiteral("Query"));
    EXPECT_EQ(form.READ_car.text(), QStringLiteral("Read"));
    EXPECT_EQ(form.StringGrid1.Cells(0, 0), QStringLiteral("Information"));
    EXPECT_EQ(form.StringGrid1.Cells(1, 0), QStringLiteral("Content"));
    EXPECT_EQ(form.text(13), QStringLiteral("Hardware Version"));
}

TEST_F(MainForm, SwitchAlternatesBetweenChineseAndEnglish) {
    form.language_buttonClick();
    EXPECT_EQ(form.LanguageIndex, 0);
    EXPECT_EQ(form.language_button.text(), QStringLiteral("English"));
    EXPECT_EQ(form.Write_car.text(), QStringLiteral("升级"));
    EXPECT_EQ(form.Verify.text(), QStringLiteral("查询"));
    EXPECT_EQ(form.READ_car.text(), QStringLiteral("读出"));
    EXPECT_EQ(form.StringGrid1.Cells(0, 0), QStringLiteral("信息"));
    EXPECT_EQ(form.StringGrid1.Cells(1, 0), QStringLiteral("内容"));
    // Tooltips stay in English.
    EXPECT_EQ(form.Write_car.toolTip(), QStringLiteral("Write to chip"));

    form.language_button.click();  // the button's click is the switch
    EXPECT_EQ(form.LanguageIndex, 1);
    EXPECT_EQ(form.language_button.text(), QStringLiteral("中文"));
    EXPECT_EQ(form.Write_car.text(), QStringLiteral("Download"));
    EXPECT_EQ(form.StringGrid1.Cells(1, 0), QStringLiteral("Content"));
}

TEST_F(MainForm, GridColumnsFillTheGrid) {
    EXPECT_EQ(form.StringGrid1.ColCount(), 2);
    EXPECT_EQ(form.StringGrid1.RowCount(), 2);
    EXPECT_EQ(form.StringGrid1.ColWidths(0), 360);
    EXPECT_EQ(form.StringGrid1.ColWidths(1), 440);
    EXPECT_EQ(form.StringGrid1.DefaultRowHeight(), 24);
    EXPECT_EQ(form.StringGrid1.geometry(), QRect(0, 94, 800, 200));
    EXPECT_EQ(form.StringGrid1.font().pixelSize(), 17);
}

TEST_F(MainForm, GaugeSitsAtTheRightOfTheStatusBar) {
    EXPECT_EQ(form.Gauge1.parentWidget(), &form.StatusBar1);
    EXPECT_EQ(form.Gauge1.geometry(), QRect(600, 4, 200, 39));
    EXPECT_TRUE(form.Gauge1.isHidden());
    EXPECT_EQ(form.Gauge1.Kind(), TGaugeKind::gkHorizontalBar);
    EXPECT_EQ(form.Gauge1.BorderStyle(), TBorderStyle::bsNone);
    EXPECT_TRUE(form.Gauge1.ShowText());
    EXPECT_EQ(form.Gauge1.ForeColor(), QColor(0, 0, 255));
    EXPECT_EQ(form.Gauge1.BackColor(), BtnFaceColor());
    EXPECT_EQ(form.Gauge1.font().pixelSize(), 21);
    EXPECT_EQ(form.Gauge1.MinValue(), 0);
    EXPECT_EQ(form.Gauge1.MaxValue(), 100);
    EXPECT_EQ(form.Gauge1.Progress(), 0);
}

TEST_F(MainForm, StatusBarReadsIdle) {
    EXPECT_EQ(form.StatusBar1.geometry(), QRect(0, 409, 800, 41));
    ASSERT_EQ(form.StatusBar1.panelCount(), 1);
    EXPECT_EQ(form.StatusBar1.panelText(0), QStringLiteral("Idle"));
    EXPECT_EQ(form.StatusBar1.panel(0).Width, 100);
    EXPECT_EQ(form.StatusBar1.panel(0).Alignment, Qt::AlignHCenter);
    EXPECT_EQ(form.StatusBar1.font().pointSize(), 16);
    EXPECT_EQ(form.StatusBar1.Color(), BtnFaceColor());
    EXPECT_EQ(form.StatusBar1.panelText(1), QString()) << "no second panel";
}

TEST_F(MainForm, WindowIsFixedAndTitledVellox) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Vellox"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Vellox"));
    EXPECT_EQ(form.minimumSize(), QSize(800, 450));
    EXPECT_EQ(form.maximumSize(), QSize(800, 450));
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    const QList<QSize> iconSizes = form.windowIcon().availableSizes();
    for (int size : {16, 32, 48, 256}) EXPECT_TRUE(iconSizes.contains(QSize(size, size))) << size;
    EXPECT_FALSE(form.Download().Busy);
    EXPECT_EQ(form.Dialogue().FlashSize, 0u);
}

TEST_F(MainForm, ControlsKeepTheirLayout) {
    struct Expect {
        const char* name;
        QWidget* parent;
        QRect geometry;
        bool shownAtStart;
    };
    const Expect table[] = {
        {"ReadBtn", &form, {216, -105, 81, 22}, false},
        {"Image1", &form, {0, 0, 800, 115}, true},
        {"Memo4", &form, {0, 360, 1201, 172}, false},
        {"Panel2", &form, {0, 115, 800, 294}, false},
        {"READ_car", &form.Panel2, {192, 8, 88, 39}, false},
        {"Write_car", &form.Panel2, {8, 0, 129, 73}, true},
        {"Verify", &form.Panel2, {104, 8, 88, 39}, false},
        {"StringGrid1", &form.Panel2, {0, 94, 800, 200}, false},
        {"DevListBox", &form.Panel2, {83, 34, 38, 23}, false},
        {"language_button", &form.Panel2, {296, 8, 81, 41}, false},
        {"StatusBar1", &form, {0, 409, 800, 41}, true},
        {"Gauge1", &form.StatusBar1, {600, 4, 200, 39}, false},
    };
    for (const Expect& e : table) {
        SCOPED_TRACE(e.name);
        auto* w = form.findChild<QWidget*>(QString::fromLatin1(e.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget(), e.parent);
        EXPECT_EQ(w->geometry(), e.geometry);
        EXPECT_EQ(!w->isHidden(), e.shownAtStart);
    }
    EXPECT_TRUE(form.ReadBtn.isCheckable());
    EXPECT_EQ(form.Memo4.toPlainText(), QStringLiteral("Memo4"));
    EXPECT_EQ(form.Memo4.lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(form.DevListBox.count(), 0);
    EXPECT_EQ(form.Write_car.toolTip(), QStringLiteral("Write to chip"));
    EXPECT_EQ(form.Verify.toolTip(), QStringLiteral("Verify chip"));
    EXPECT_EQ(form.READ_car.toolTip(), QStringLiteral("Read from chip"));
    EXPECT_EQ(form.Write_car.iconSize(), QSize(32, 32));
    EXPECT_EQ(form.Language_str.Count(), 123u);
    EXPECT_EQ(form.Language_st_e2.Count(), 113u);
    EXPECT_EQ(form.Language0.Count(), 90u);
}

TEST_F(MainForm, OverlappingControlsStackInLayoutOrder) {
    const QObjectList& children = form.children();
    auto index = [&](const QWidget& w) { return children.indexOf(const_cast<QWidget*>(&w)); };
    // Memo4 reaches under the panel and the status bar, which cover it.
    EXPECT_LT(index(form.Memo4), index(form.Panel2));
    EXPECT_LT(index(form.Memo4), index(form.StatusBar1));
    EXPECT_LT(index(form.Image1), index(form.Memo4));
    EXPECT_LT(index(form.ReadBtn), index(form.Image1));
}

TEST(MainFormLayout, WindowlessControlsStackBeneathTheWindowedOnes) {
    const std::vector<std::string_view> bottomToTop{
        "ReadBtn", "Gauge1", "Image1",      "READ_car",   "Write_car",       "Verify",
        "Memo4",   "Panel2", "StringGrid1", "DevListBox", "language_button", "StatusBar1"};
    EXPECT_EQ(layout::stacking_order(), bottomToTop);
}

TEST_F(MainForm, OpenDialogSettings) {
    EXPECT_EQ(form.OpenFlashfile.Title, QStringLiteral("Open File"));
    EXPECT_EQ(form.OpenFlashfile.Filter, QStringLiteral("bin file(*.bin)|*.bin"));
    EXPECT_EQ(form.OpenFlashfile.QtFilter(), QStringLiteral("bin file (*.bin)"));
    EXPECT_TRUE(form.OpenFlashfile.FileMustExist);
    EXPECT_TRUE(form.OpenFlashfile.PathMustExist);
    EXPECT_TRUE(form.OpenFlashfile.HideReadOnly);
    EXPECT_TRUE(form.OpenFlashfile.EnableSizing);
}

TEST(MainFormTimers, RunEveryTenMillisecondsFromStartUp) {
    {
        TMainForm form{Quiet(true)};
        for (const QTimer* t : {&form.Timer1, &form.Timer2}) {
            EXPECT_TRUE(t->isActive());
            EXPECT_EQ(t->interval(), 10);
            EXPECT_EQ(t->timerType(), Qt::PreciseTimer);
        }
    }
    TMainForm quiet{Quiet()};
    EXPECT_FALSE(quiet.Timer1.isActive());
    EXPECT_FALSE(quiet.Timer2.isActive());
    quiet.Timer1Timer();  // callable directly, for tests that drive ticks themselves
    quiet.Timer2Timer();
}

TEST(MainFormClose, ClosingIsNeverRefused) {
    TMainForm shown{Quiet()};
    shown.show();
    EXPECT_FALSE(shown.closeRequested());
    EXPECT_TRUE(shown.close());
    EXPECT_TRUE(shown.closeRequested());
    EXPECT_FALSE(shown.isVisible());
    bool canClose = true;
    shown.CLOSEME(canClose);
    EXPECT_TRUE(canClose);
}

TEST_F(MainForm, StartingStateShowsBannerEmptyAreaAndIdle) {
    const QImage banner(QStringLiteral(":/vellox/banner.png"));
    ASSERT_EQ(banner.size(), QSize(809, 112));
    {
        // 24 bits per pixel: an 8-bit RGB PNG (colour type 2) without alpha.
        QFile file(QStringLiteral(":/vellox/banner.png"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray head = file.read(26);
        ASSERT_EQ(head.size(), 26);
        EXPECT_EQ(head.mid(12, 4), QByteArray("IHDR"));
        EXPECT_EQ(head.at(24), 8);
        EXPECT_EQ(head.at(25), 2);
    }

    const QImage shot = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), QSize(800, 450));
    // The banner unscaled from the top-left corner, clipped at the right.
    for (QPoint p : {QPoint(0, 0), QPoint(400, 50), QPoint(799, 111)}) {
        EXPECT_EQ(shot.pixel(p), banner.pixel(p)) << p.x() << "," << p.y();
    }
    // Below the banner, with Panel2 hidden, only the button face.
    for (int y = 116; y < 408; y += 7) {
        for (int x = 0; x < 800; x += 13) {
            ASSERT_EQ(shot.pixel(x, y), BtnFaceColor().rgb()) << x << "," << y;
        }
    }
    // Some text in the status bar.
    int dark = 0;
    for (int y = 410; y < 450; ++y) {
        for (int x = 0; x < 800; ++x) dark += qGray(shot.pixel(x, y)) < 100 ? 1 : 0;
    }
    EXPECT_GT(dark, 30);
}

// A glyph rendered in a font that lacks it comes out as the same box for every character.
QImage Render(const QFont& font, const QString& text) {
    QImage img(64, 64, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRect(0, 0, 64, 64), Qt::AlignCenter, text);
    return img;
}

TEST_F(MainForm, ChineseCaptionsRenderAsGlyphs) {
    EXPECT_FALSE(QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty())
        << "no CJK font installed";
    for (const QFont& f : {form.language_button.font(), form.Write_car.font(),
                           form.StringGrid1.font(), form.Memo4.font()}) {
        const QImage zhong = Render(f, QStringLiteral("中"));
        const QImage wen = Render(f, QStringLiteral("文"));
        const QImage sheng = Render(f, QStringLiteral("升"));
        EXPECT_NE(zhong, Render(f, QString()));
        EXPECT_NE(zhong, wen);
        EXPECT_NE(wen, sheng);
    }
}

}  // namespace
}  // namespace vellox
