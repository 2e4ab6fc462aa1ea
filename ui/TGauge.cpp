#include "ui/TGauge.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "ui/TBltBitmap.h"

namespace vellox {
namespace {

// A rectangle by its edges; right and bottom are excluded, as in the drawing rules below.
struct Edges {
    int left, top, right, bottom;
};

void FillEdges(QPainter& p, int l, int t, int r, int b, const QColor& c) {
    if (r > l && b > t) p.fillRect(QRect(l, t, r - l, b - t), c);
}

// Ties go to the even neighbour.
int Nearest(double x) { return static_cast<int>(std::nearbyint(x)); }

// Bounds of the figure an ellipse bounded by (l, t, r, b) covers with a 1-pixel pen.
QRectF EllipseBounds(int l, int t, int r, int b) {
    return QRectF(l, t, std::max(0, r - l - 1), std::max(0, b - t - 1));
}

// Pie slice of the ellipse bounded by (l, t, r, b): the radial ends run from the centre
// through (x1, y1) and (x2, y2), and the arc goes counter-clockwise from the first to the
// second. Identical end points give the whole ellipse.
void DrawPie(QPainter& p, int l, int t, int r, int b, int x1, int y1, int x2, int y2) {
    const QRectF box = EllipseBounds(l, t, r, b);
    const double cx = box.center().x();
    const double cy = box.center().y();
    const double rx = std::max(box.width() / 2.0, 0.5);
    const double ry = std::max(box.height() / 2.0, 0.5);
    // Parametric angles in degrees, counter-clockwise from the positive x axis, y pointing up.
    auto angle = [&](int x, int y) {
        return std::atan2(-(y - cy) / ry, (x - cx) / rx) * 180.0 / std::numbers::pi;
    };
    const double start = angle(x1, y1);
    double span = angle(x2, y2) - start;
    while (span <= 0.0) span += 360.0;
    while (span > 360.0) span -= 360.0;
    QPainterPath path;
    path.moveTo(box.center());
    path.arcTo(box, start, span);
    path.closeSubpath();
    p.drawPath(path);
}

}  // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
    // The painting covers the whole rectangle, so nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    color_ = palette().color(QPalette::Button);
    resize(100, 100);
}

int TGauge::CurrentPercent() const {
    const double range = static_cast<double>(maxValue_) - static_cast<double>(minValue_);
    if (range == 0.0) return 0;
    const double done = static_cast<double>(progress_) - static_cast<double>(minValue_);
    return static_cast<int>(std::trunc(done * 100.0 / range));
}

namespace {
std::string RangeMessage(long long low, long long high) {
    char text[96];
    std::snprintf(text, sizeof text, "Value must be between %lld and %lld", low, high);
    return text;
}
}  // namespace

void TGauge::setMinValue(std::int32_t v) {
    if (v == minValue_) return;
    if (v > maxValue_ && !loading_) {
        // Widened so that a MaxValue at the bottom of the range cannot overflow the message.
        throw EInvalidOperation(RangeMessage(-2147483647LL, static_cast<long long>(maxValue_) - 1));
    }
    minValue_ = v;
    if (progress_ < v) progress_ = v;
    RepaintNow();
}

void TGauge::setMaxValue(std::int32_t v) {
    if (v == maxValue_) return;
    if (v < minValue_ && !loading_) {
        throw EInvalidOperation(RangeMessage(static_cast<long long>(minValue_) + 1, 2147483647LL));
    }
    maxValue_ = v;
    if (progress_ > v) progress_ = v;
    RepaintNow();
}

void TGauge::setProgress(std::int32_t v) {
    const int before = CurrentPercent();
    if (v < minValue_) v = minValue_;
    if (v > maxValue_) v = maxValue_;
    if (v == progress_) return;
    progress_ = v;
    // Progress moves after every block of a download; only a new whole percentage is worth
    // a repaint.
    if (CurrentPercent() != before) RepaintNow();
}

void TGauge::setKind(TGaugeKind v) {
    if (v == kind_) return;
    kind_ = v;
    RepaintNow();
}

void TGauge::setShowText(bool v) {
    if (v == showText_) return;
    showText_ = v;
    RepaintNow();
}

void TGauge::setBorderStyle(TBorderStyle v) {
    if (v == borderStyle_) return;
    borderStyle_ = v;
    RepaintNow();
}

void TGauge::setForeColor(const QColor& v) {
    if (v == foreColor_) return;
    foreColor_ = v;
    RepaintNow();
}

void TGauge::setBackColor(const QColor& v) {
    if (v == backColor_) return;
    backColor_ = v;
    RepaintNow();
}

void TGauge::setColor(const QColor& v) {
    if (v == color_) return;
    color_ = v;
    RepaintNow();
}

void TGauge::RepaintNow() {
    // repaint() paints synchronously, clipped to the gauge, with whatever lies above it.
    if (isVisible()) repaint();
}

void TGauge::paintEvent(QPaintEvent*) {
    ++paintCount_;
    QPainter p(this);
    p.drawImage(0, 0, PaintImage());
}

QImage TGauge::PaintImage() const {
    const int w = width();
    const int h = height();
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::black);
    if (w <= 0 || h <= 0) return image;

    // The 1-pixel edge left outside the paint rectangle stays black: that is the border.
    QRect paintRect(0, 0, w, h);
    if (borderStyle_ == TBorderStyle::bsSingle) paintRect.adjust(1, 1, -1, -1);

    TBltBitmap overlay;
    overlay.MakeLike(image);
    overlay.fill(Qt::black);
    PaintKind(overlay, paintRect);
    XorInto(image, overlay);

    if (showText_) PaintText(image, paintRect);
    return image;
}

void TGauge::PaintKind(QImage& overlay, const QRect& paintRect) const {
    const Edges pr{paintRect.left(), paintRect.top(), paintRect.left() + paintRect.width(),
                   paintRect.top() + paintRect.height()};
    const bool single = borderStyle_ == TBorderStyle::bsSingle;
    const double fraction = CurrentPercent() * 0.01;

    QPainter p(&overlay);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setClipRect(paintRect);

    switch (kind_) {
        case TGaugeKind::gkText:
            FillEdges(p, pr.left, pr.top, pr.right, pr.bottom, backColor_);
            break;
        case TGaugeKind::gkHorizontalBar: {
            const int bw = pr.right - pr.left + 1;
            const int bh = pr.bottom - pr.top + 1;
            FillEdges(p, pr.left, pr.top, pr.right, pr.bottom, backColor_);
            int f = static_cast<int>(std::trunc(bw * fraction));
            if (f > bw) f = bw;
            // f and bh are the right and bottom edges here, not lengths.
            if (f >= 1) FillEdges(p, pr.left, pr.top, f, bh, foreColor_);
            break;
        }
        case TGaugeKind::gkVerticalBar: {
            const int bw = pr.right - pr.left + 1;
            const int bh = pr.bottom - pr.top + 1;
            FillEdges(p, pr.left, pr.top, pr.right, pr.bottom, backColor_);
            int f = static_cast<int>(std::trunc(bh * fraction));
            if (f >= bh) f = bh - 1;
            FillEdges(p, pr.left, bh - f, bw, bh, foreColor_);
            break;
        }
        case TGaugeKind::gkPie: {
            const int pw = pr.right - pr.left + (single ? 1 : 0);
            const int ph = pr.bottom - pr.top + (single ? 1 : 0);
            FillEdges(p, pr.left, pr.top, pr.right, pr.bottom, color_);
            p.setPen(QPen(foreColor_, 1));
            p.setBrush(backColor_);
            p.drawEllipse(EllipseBounds(pr.left, pr.top, pw, ph));
            const int percent = CurrentPercent();
            if (percent > 0) {
                const int mx = pw / 2;
                const int my = ph / 2;
                const double angle = (percent / 50.0 + 0.5) * std::numbers::pi;
                p.setBrush(foreColor_);
                DrawPie(p, pr.left, pr.top, pw, ph, Nearest(mx * (1 - std::cos(angle))),
                        Nearest(my * (1 - std::sin(angle))), mx, 0);
            }
            break;
        }
        case TGaugeKind::gkNeedle: {
            const int pw = pr.right - pr.left + (single ? 1 : 0);
            const int ph = pr.bottom - pr.top + (single ? 1 : 0);
            FillEdges(p, pr.left, pr.top, pr.right, pr.bottom, color_);
            p.setPen(QPen(foreColor_, 1));
            p.setBrush(backColor_);
            // The upper half of the ellipse is the dial.
            DrawPie(p, pr.left, pr.top, pw, 2 * ph - 1, pr.left + pw, pr.bottom - 1, pr.left,
                    pr.bottom - 1);
            p.drawLine(pr.left, pr.bottom, pr.left + pw - 1, pr.bottom);
            const int percent = CurrentPercent();
            if (percent > 0) {
                const int mx = width() / 2;
                const double angle = percent / 100.0 * std::numbers::pi;
                p.drawLine(mx, pr.bottom - 1, Nearest((1 - std::cos(angle)) * mx),
                           Nearest((1 - std::sin(angle)) * (pr.bottom - 1)));
            }
            break;
        }
    }
}

void TGauge::PaintText(QImage& image, const QRect& paintRect) const {
    TBltBitmap textBitmap;
    textBitmap.MakeLike(image);
    textBitmap.fill(Qt::black);

    const QString text = QString::asprintf("%d%%", CurrentPercent());
    // Antialiased edges would turn into stray colours under exclusive-or.
    QFont f = font();
    f.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics fm(f);
    const int textWidth = fm.horizontalAdvance(text);
    const int textHeight = fm.height();
    const int right = paintRect.left() + paintRect.width();
    const int bottom = paintRect.top() + paintRect.height();
    const int x = (right - paintRect.left() + 1 - textWidth) / 2;
    const int y = (bottom - paintRect.top() + 1 - textHeight) / 2;

    {
        QPainter p(&textBitmap);
        p.setRenderHint(QPainter::TextAntialiasing, false);
        p.setFont(f);
        p.setPen(Qt::white);
        p.setClipRect(paintRect);
        p.drawText(x, y + fm.ascent(), text);
    }
    XorInto(image, textBitmap);
}

}  // namespace vellox
