#include "ui/qt/TGauge.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <cmath>
#include <numbers>

#include "ui/qt/SystemLook.h"
#include "ui/qt/TBltBitmap.h"

namespace vellox {
namespace {

QRect ToQRect(const GaugeRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// Bounds of the figure an ellipse bounded by (l, t, r, b) covers with a 1-pixel pen.
QRectF EllipseBounds(const GaugeRect& r) {
    return QRectF(r.left, r.top, std::max(0, r.right - r.left - 1),
                  std::max(0, r.bottom - r.top - 1));
}

// Pie slice of the ellipse bounded by the box: radial ends through (x1, y1) and (x2, y2), the
// arc counter-clockwise from the first to the second. Identical ends give the whole ellipse.
void DrawPie(QPainter& p, const GaugeShape& s) {
    const QRectF box = EllipseBounds(s.box);
    const double cx = box.center().x();
    const double cy = box.center().y();
    const double rx = std::max(box.width() / 2.0, 0.5);
    const double ry = std::max(box.height() / 2.0, 0.5);
    // Parametric angles in degrees, counter-clockwise from the positive x axis, y pointing up.
    auto angle = [&](int x, int y) {
        return std::atan2(-(y - cy) / ry, (x - cx) / rx) * 180.0 / std::numbers::pi;
    };
    const double start = angle(s.x1, s.y1);
    double span = angle(s.x2, s.y2) - start;
    while (span <= 0.0) span += 360.0;
    while (span > 360.0) span -= 360.0;
    QPainterPath path;
    path.moveTo(box.center());
    path.arcTo(box, start, span);
    path.closeSubpath();
    p.drawPath(path);
}

// A 1-pixel line without its last point, as the platform's line drawing leaves it.
void DrawLine(QPainter& p, int x1, int y1, int x2, int y2) {
    const int dx = std::abs(x2 - x1), sx = x1 < x2 ? 1 : -1;
    const int dy = -std::abs(y2 - y1), sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    while (x1 != x2 || y1 != y2) {
        p.drawPoint(x1, y1);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x1 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y1 += sy;
        }
    }
}

void DrawShape(QPainter& p, const GaugeShape& s) {
    switch (s.op) {
        case GaugeShape::Op::Fill:
            if (s.box.right > s.box.left && s.box.bottom > s.box.top) {
                p.fillRect(ToQRect(s.box), ToQColor(s.brush));
            }
            break;
        case GaugeShape::Op::Ellipse:
            p.setPen(QPen(ToQColor(s.pen), 1));
            p.setBrush(ToQColor(s.brush));
            p.drawEllipse(EllipseBounds(s.box));
            break;
        case GaugeShape::Op::Pie:
            p.setPen(QPen(ToQColor(s.pen), 1));
            p.setBrush(ToQColor(s.brush));
            DrawPie(p, s);
            break;
        case GaugeShape::Op::Line:
            p.setPen(QPen(ToQColor(s.pen), 1));
            DrawLine(p, s.x1, s.y1, s.x2, s.y2);
            break;
    }
}

// A paint's steps with QPainter on images.
class QtGaugeCanvas : public GaugeCanvas {
  public:
    QtGaugeCanvas(QImage& picture, QFont font) : picture_(picture), font_(std::move(font)) {
        // Antialiased edges would turn into stray colours under exclusive-or.
        font_.setStyleStrategy(QFont::NoAntialias);
    }

    void begin_layer(const GaugeRect& clip) override {
        layer_.MakeLike(picture_);
        layer_.fill(Qt::black);
        clip_ = ToQRect(clip);
    }
    void draw(const GaugeShape& shape) override {
        QPainter p(&layer_);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setClipRect(clip_);
        DrawShape(p, shape);
    }
    GaugePoint text_size(const std::string& text) override {
        const QFontMetrics fm(font_);
        return {fm.horizontalAdvance(QString::fromStdString(text)), fm.height()};
    }
    void draw_text(const std::string& text, GaugePoint at) override {
        QPainter p(&layer_);
        p.setRenderHint(QPainter::TextAntialiasing, false);
        p.setFont(font_);
        p.setPen(Qt::white);
        p.setClipRect(clip_);
        p.drawText(at.x, at.y + QFontMetrics(font_).ascent(), QString::fromStdString(text));
    }
    void combine_layer() override { XorInto(picture_, layer_); }

  private:
    QImage& picture_;
    QFont font_;
    TBltBitmap layer_;
    QRect clip_;
};

}  // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
    // The painting covers the whole rectangle, so nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    model_.setColor(ToRgb(palette().color(QPalette::Button)));
    resize(100, 100);
}

QColor TGauge::ForeColor() const { return ToQColor(model_.ForeColor()); }
QColor TGauge::BackColor() const { return ToQColor(model_.BackColor()); }
QColor TGauge::Color() const { return ToQColor(model_.Color()); }
void TGauge::setForeColor(const QColor& v) { Apply(model_.setForeColor(ToRgb(v))); }
void TGauge::setBackColor(const QColor& v) { Apply(model_.setBackColor(ToRgb(v))); }
void TGauge::setColor(const QColor& v) { Apply(model_.setColor(ToRgb(v))); }
void TGauge::setLook(const GaugeLook& look, const QColor& buttonFace) {
    Apply(model_.setLook(look, ToRgb(buttonFace)));
}

void TGauge::paintEvent(QPaintEvent*) {
    ++paintCount_;
    QPainter p(this);
    p.drawImage(0, 0, PaintImage());
}

QImage TGauge::PaintImage() const {
    QImage image(width(), height(), QImage::Format_RGB32);
    image.fill(Qt::black);
    QtGaugeCanvas canvas(image, font());
    paint_gauge(model_, width(), height(), canvas);
    return image;
}

}  // namespace vellox
