#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWindow>
#include <climits>
#include <set>

#include "ui/qt/SystemLook.h"
#include "ui/qt/TGauge.h"

namespace vellox {
namespace {

QRgb Rgb(const QColor& c) { return c.rgb() | 0xFF000000u; }
QRgb Inverse(const QColor& c) { return (~c.rgb() & 0x00FFFFFFu) | 0xFF000000u; }

// Gauge1's settings on a gauge of its own.
void LikeGauge1(TGauge& g, int width = 200, int height = 39) {
    g.resize(width, height);
    g.setBorderStyle(TBorderStyle::bsNone);
    g.setForeColor(QColor(0, 0, 255));
    g.setBackColor(BtnFaceColor());
    g.setFont(SansFont(21));
}

TEST(TGauge, ConstructorDefaults) {
    TGauge g;
    EXPECT_EQ(g.MinValue(), 0);
    EXPECT_EQ(g.MaxValue(), 100);
    EXPECT_EQ(g.Progress(), 0);
    EXPECT_EQ(g.Kind(), TGaugeKind::gkHorizontalBar);
    EXPECT_TRUE(g.ShowText());
    EXPECT_EQ(g.BorderStyle(), TBorderStyle::bsSingle);
    EXPECT_EQ(g.ForeColor(), QColor(Qt::black));
    EXPECT_EQ(g.BackColor(), QColor(Qt::white));
    EXPECT_EQ(g.size(), QSize(100, 100));
    EXPECT_TRUE(g.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST(TGauge, CurrentPercentTruncatesAndSurvivesTheFullRange) {
    struct Case {
        int min, max, progress, percent;
    };
    const Case cases[] = {
        {0, 100, 50, 50},
        {0, 3, 1, 33},
        {0, 3, 2, 66},
        {-10, 10, -5, 25},
        {0, 100000, 1005, 1},
        {0, 0, 0, 0},
        {INT_MIN, INT_MAX, INT_MAX, 100},
        {INT_MIN, INT_MAX, INT_MIN, 0},
        {INT_MIN, INT_MAX, 0, 50},
    };
    for (const Case& c : cases) {
        TGauge g;
        g.setLoading(true);
        g.setMaxValue(c.max);
        g.setMinValue(c.min);
        g.setMaxValue(c.max);
        g.setLoading(false);
        g.setProgress(c.progress);
        EXPECT_EQ(g.CurrentPercent(), c.percent) << c.min << ".." << c.max << " @" << c.progress;
    }
}

TEST(TGauge, ProgressIsClampedAndFollowsTheRange) {
    TGauge g;
    g.setProgress(150);
    EXPECT_EQ(g.Progress(), 100);
    g.setProgress(-3);
    EXPECT_EQ(g.Progress(), 0);

    g.setProgress(80);
    g.setMaxValue(60);  // below Progress: Progress comes down with it
    EXPECT_EQ(g.MaxValue(), 60);
    EXPECT_EQ(g.Progress(), 60);

    g.setMinValue(-20);
    g.setProgress(-10);
    g.setMinValue(5);  // above Progress: Progress goes up with it
    EXPECT_EQ(g.Progress(), 5);
}

TEST(TGauge, RangeErrorsCarryTheirBounds) {
    TGauge g;
    try {
        g.setMinValue(101);
        FAIL() << "MinValue above MaxValue was accepted";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Value must be between -2147483647 and 99");
    }
    EXPECT_EQ(g.MinValue(), 0);

    g.setMinValue(10);
    try {
        g.setMaxValue(5);
        FAIL() << "MaxValue below MinValue was accepted";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Value must be between 11 and 2147483647");
    }
    EXPECT_EQ(g.MaxValue(), 100);

    // At the ends of the range the bounds are computed without overflowing.
    TGauge low;
    low.setMinValue(INT_MIN);
    low.setMaxValue(INT_MIN);
    try {
        low.setMinValue(0);
        FAIL();
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Value must be between -2147483647 and -2147483649");
    }
    TGauge high;
    high.setMaxValue(INT_MAX);
    high.setMinValue(INT_MAX);
    try {
        high.setMaxValue(0);
        FAIL();
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Value must be between 2147483648 and 2147483647");
    }
}

TEST(TGauge, LayoutLoadingSkipsTheRangeCheck) {
    TGauge g;
    g.setLoading(true);
    EXPECT_NO_THROW(g.setMinValue(500));
    EXPECT_EQ(g.MinValue(), 500);
    EXPECT_EQ(g.Progress(), 500);
    EXPECT_NO_THROW(g.setMaxValue(1000));
    EXPECT_EQ(g.MaxValue(), 1000);
}

TEST(TGauge, HalfwayBarFillsTheLeftHundredPixels) {
    TGauge g;
    LikeGauge1(g);
    g.setShowText(false);
    g.setProgress(50);
    const QImage img = g.PaintImage();
    ASSERT_EQ(img.size(), QSize(200, 39));
    for (int y : {0, 19, 38}) {
        for (int x = 0; x < 200; ++x) {
            const QRgb want = x <= 99 ? Rgb(g.ForeColor()) : Rgb(g.BackColor());
            ASSERT_EQ(img.pixel(x, y), want) << "x " << x << " y " << y;
        }
    }
}

TEST(TGauge, TextInvertsTheColoursBeneathIt) {
    TGauge g;
    LikeGauge1(g);
    g.setProgress(50);
    const QImage img = g.PaintImage();
    const QRgb blue = Rgb(g.ForeColor());
    const QRgb face = Rgb(g.BackColor());
    int overBlue = 0;
    int overFace = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb under = x <= 99 ? blue : face;
            const QRgb got = img.pixel(x, y);
            if (got == under) continue;
            // Any other colour (an antialiased edge, say) is a fault.
            ASSERT_EQ(got, x <= 99 ? qRgb(255, 255, 0) : Inverse(g.BackColor()))
                << "x " << x << " y " << y;
            ++(x <= 99 ? overBlue : overFace);
        }
    }
    EXPECT_GT(overBlue, 20) << "the text should reach over the filled part";
    EXPECT_GT(overFace, 20) << "the text should reach over the empty part";
}

TEST(TGauge, EmptyRangeShowsZeroPercentAndAnEmptyBar) {
    TGauge g;
    LikeGauge1(g);
    g.setProgress(70);
    g.setMaxValue(0);  // equal to MinValue
    EXPECT_EQ(g.CurrentPercent(), 0);
    const QImage img = g.PaintImage();
    int text = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            ASSERT_NE(img.pixel(x, y), Rgb(g.ForeColor())) << "x " << x << " y " << y;
            if (img.pixel(x, y) == Inverse(g.BackColor())) ++text;
        }
    }
    EXPECT_GT(text, 20);

    // "0%" is what the text shows: compare with an explicit 0 of a normal range.
    TGauge zero;
    LikeGauge1(zero);
    EXPECT_EQ(img, zero.PaintImage());
}

TEST(TGauge, SingleBorderIsABlackFrame) {
    TGauge g;
    g.resize(50, 20);
    g.setShowText(false);
    g.setBackColor(QColor(10, 200, 30));
    g.setProgress(100);
    g.setForeColor(QColor(200, 0, 0));
    const QImage img = g.PaintImage();
    for (int x = 0; x < 50; ++x) {
        EXPECT_EQ(img.pixel(x, 0), qRgb(0, 0, 0));
        EXPECT_EQ(img.pixel(x, 19), qRgb(0, 0, 0));
    }
    for (int y = 0; y < 20; ++y) {
        EXPECT_EQ(img.pixel(0, y), qRgb(0, 0, 0));
        EXPECT_EQ(img.pixel(49, y), qRgb(0, 0, 0));
    }
    // At 100 % the fill reaches the frame on the right and at the bottom.
    EXPECT_EQ(img.pixel(1, 1), qRgb(200, 0, 0));
    EXPECT_EQ(img.pixel(48, 18), qRgb(200, 0, 0));
}

TEST(TGauge, VerticalBarFillsFromTheBottom) {
    TGauge g;
    g.resize(20, 40);
    g.setBorderStyle(TBorderStyle::bsNone);
    g.setShowText(false);
    g.setForeColor(QColor(255, 0, 0));
    g.setKind(TGaugeKind::gkVerticalBar);
    g.setProgress(50);
    // h = 41, f = 20: rows from 21 down are filled.
    QImage img = g.PaintImage();
    EXPECT_EQ(img.pixel(5, 20), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(5, 21), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(5, 39), qRgb(255, 0, 0));
    g.setProgress(100);
    img = g.PaintImage();
    EXPECT_EQ(img.pixel(5, 0), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(5, 1), qRgb(255, 0, 0));
}

struct DialColours {
    QColor fore{200, 0, 0};
    QColor back{255, 255, 255};
    QColor around{0, 160, 0};
};

void SetUpDial(TGauge& g, TGaugeKind kind, int w, int h, const DialColours& c = {}) {
    g.resize(w, h);
    g.setKind(kind);
    g.setBorderStyle(TBorderStyle::bsNone);
    g.setShowText(false);
    g.setForeColor(c.fore);
    g.setBackColor(c.back);
    g.setColor(c.around);
}

TEST(TGauge, PieSliceGrowsClockwiseFromTwelve) {
    const DialColours c;
    TGauge g;
    SetUpDial(g, TGaugeKind::gkPie, 100, 100, c);
    // Sample points well inside each quadrant: upper right, lower right, lower left, upper left.
    const QPoint quadrant[] = {{70, 30}, {70, 70}, {30, 70}, {30, 30}};
    struct Case {
        int percent;
        int filledQuadrants;
    };
    for (const Case& k : {Case{0, 0}, Case{25, 1}, Case{50, 2}, Case{75, 3}, Case{100, 4}}) {
        g.setProgress(k.percent);
        const QImage img = g.PaintImage();
        for (int q = 0; q < 4; ++q) {
            const QColor want = q < k.filledQuadrants ? c.fore : c.back;
            EXPECT_EQ(img.pixel(quadrant[q]), Rgb(want)) << k.percent << "% quadrant " << q;
        }
        EXPECT_EQ(img.pixel(1, 1), Rgb(c.around)) << "corner outside the dial";
        EXPECT_EQ(img.pixel(98, 98), Rgb(c.around));
    }
}

TEST(TGauge, NeedlePointsAlongTheDial) {
    const DialColours c;
    TGauge g;
    SetUpDial(g, TGaugeKind::gkNeedle, 100, 60, c);
    auto onNeedle = [&](const QImage& img, QPoint a, QPoint b) {
        return img.pixel(a) == Rgb(c.fore) || img.pixel(b) == Rgb(c.fore);
    };

    g.setProgress(0);
    QImage img = g.PaintImage();
    EXPECT_EQ(img.pixel(50, 30), Rgb(c.back)) << "no needle at 0 %";
    EXPECT_EQ(img.pixel(32, 38), Rgb(c.back));
    EXPECT_EQ(img.pixel(1, 1), Rgb(c.around)) << "outside the dial";

    g.setProgress(50);  // straight up from (50, 59) to (50, 0)
    img = g.PaintImage();
    EXPECT_EQ(img.pixel(50, 30), Rgb(c.fore));
    EXPECT_EQ(img.pixel(50, 5), Rgb(c.fore));
    EXPECT_EQ(img.pixel(40, 30), Rgb(c.back));

    g.setProgress(25);  // from (50, 59) towards (15, 17)
    img = g.PaintImage();
    EXPECT_TRUE(onNeedle(img, {32, 38}, {33, 38}));
    EXPECT_EQ(img.pixel(50, 30), Rgb(c.back));
    EXPECT_EQ(img.pixel(68, 38), Rgb(c.back)) << "mirror point stays empty";
}

TEST(TGauge, TextKindFillsWithBackColour) {
    TGauge g;
    g.resize(30, 10);
    g.setBorderStyle(TBorderStyle::bsNone);
    g.setShowText(false);
    g.setBackColor(QColor(1, 2, 3));
    g.setKind(TGaugeKind::gkText);
    g.setProgress(90);
    const QImage img = g.PaintImage();
    EXPECT_EQ(img.pixel(0, 0), qRgb(1, 2, 3));
    EXPECT_EQ(img.pixel(29, 9), qRgb(1, 2, 3));
}

// A gauge on an exposed window, so that repaints reach the screen.
class ShownGauge : public ::testing::Test {
  protected:
    void SetUp() override {
        host_.resize(300, 60);
        gauge_ = std::make_unique<TGauge>(&host_);
        LikeGauge1(*gauge_);
        host_.show();
        for (int i = 0; i < 200 && !(host_.windowHandle() && host_.windowHandle()->isExposed());
             ++i) {
            QCoreApplication::processEvents();
        }
        ASSERT_TRUE(host_.windowHandle()->isExposed());
        QCoreApplication::processEvents();
    }
    void TearDown() override { gauge_.reset(); }

    QWidget host_;
    std::unique_ptr<TGauge> gauge_;
};

TEST_F(ShownGauge, RepaintsOnlyWhenTheWholePercentageChanges) {
    TGauge& g = *gauge_;
    g.setMaxValue(100000);
    g.setProgress(1000);
    const int before = g.paintCount();
    g.setProgress(1005);  // still 1 %
    EXPECT_EQ(g.Progress(), 1005);
    EXPECT_EQ(g.paintCount(), before);
    g.setProgress(2000);  // 2 %: painted at once, before any event is processed
    EXPECT_EQ(g.paintCount(), before + 1);
}

TEST_F(ShownGauge, PropertyChangesRepaintAtOnceAndEqualValuesDoNot) {
    TGauge& g = *gauge_;
    int count = g.paintCount();
    g.setForeColor(QColor(0, 200, 0));
    EXPECT_EQ(g.paintCount(), ++count);
    g.setForeColor(QColor(0, 200, 0));
    EXPECT_EQ(g.paintCount(), count);
    g.setKind(TGaugeKind::gkPie);
    EXPECT_EQ(g.paintCount(), ++count);
    g.setShowText(false);
    EXPECT_EQ(g.paintCount(), ++count);
    g.setBorderStyle(TBorderStyle::bsSingle);
    EXPECT_EQ(g.paintCount(), ++count);
    g.setMinValue(10);
    EXPECT_EQ(g.paintCount(), ++count);

    g.hide();
    g.setBackColor(QColor(9, 9, 9));
    g.setProgress(90);
    EXPECT_EQ(g.paintCount(), count) << "a hidden gauge does not draw";
}

TEST_F(ShownGauge, ScreenShowsThePaintImage) {
    TGauge& g = *gauge_;
    g.setProgress(37);
    EXPECT_EQ(g.grab().toImage().convertToFormat(QImage::Format_RGB32), g.PaintImage());
}

}  // namespace
}  // namespace vellox
