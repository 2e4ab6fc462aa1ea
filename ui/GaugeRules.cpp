#include "ui/GaugeRules.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace vellox {
namespace {

std::string RangeMessage(long long low, long long high) {
    char text[96];
    std::snprintf(text, sizeof text, "Value must be between %lld and %lld", low, high);
    return text;
}

// Ties go to the even neighbour.
int Nearest(double x) { return static_cast<int>(std::nearbyint(x)); }

GaugeShape Fill(int l, int t, int r, int b, layout::Rgb colour) {
    GaugeShape s;
    s.op = GaugeShape::Op::Fill;
    s.box = {l, t, r, b};
    s.brush = colour;
    return s;
}

}  // namespace

template <typename T>
bool GaugeModel::Store(T& field, const T& v) {
    if (field == v) return false;
    field = v;
    return true;
}

int GaugeModel::CurrentPercent() const {
    const double range = static_cast<double>(maxValue_) - static_cast<double>(minValue_);
    if (range == 0.0) return 0;
    const double done = static_cast<double>(progress_) - static_cast<double>(minValue_);
    return static_cast<int>(std::trunc(done * 100.0 / range));
}

std::string GaugeModel::Text() const {
    char text[16];
    std::snprintf(text, sizeof text, "%d%%", CurrentPercent());
    return text;
}

bool GaugeModel::setMinValue(std::int32_t v) {
    if (v == minValue_) return false;
    if (v > maxValue_ && !loading_) {
        // Widened so that a MaxValue at the bottom of the range cannot overflow the message.
        throw EInvalidOperation(RangeMessage(-2147483647LL, static_cast<long long>(maxValue_) - 1));
    }
    minValue_ = v;
    if (progress_ < v) progress_ = v;
    return true;
}

bool GaugeModel::setMaxValue(std::int32_t v) {
    if (v == maxValue_) return false;
    if (v < minValue_ && !loading_) {
        throw EInvalidOperation(RangeMessage(static_cast<long long>(minValue_) + 1, 2147483647LL));
    }
    maxValue_ = v;
    if (progress_ > v) progress_ = v;
    return true;
}

bool GaugeModel::setProgress(std::int32_t v) {
    const int before = CurrentPercent();
    if (v < minValue_) v = minValue_;
    if (v > maxValue_) v = maxValue_;
    if (v == progress_) return false;
    progress_ = v;
    // Progress moves after every block of a download; only a new whole percentage is worth
    // a repaint.
    return CurrentPercent() != before;
}

bool GaugeModel::setKind(TGaugeKind v) { return Store(kind_, v); }
bool GaugeModel::setShowText(bool v) { return Store(showText_, v); }
bool GaugeModel::setBorderStyle(TBorderStyle v) { return Store(borderStyle_, v); }
bool GaugeModel::setForeColor(Rgb v) { return Store(foreColor_, v); }
bool GaugeModel::setBackColor(Rgb v) { return Store(backColor_, v); }
bool GaugeModel::setColor(Rgb v) { return Store(color_, v); }

GaugeRect gauge_paint_rect(const GaugeModel& gauge, int width, int height) {
    // The 1-pixel edge left outside the paint rectangle stays black: that is the border.
    if (gauge.BorderStyle() == TBorderStyle::bsSingle) return {1, 1, width - 1, height - 1};
    return {0, 0, width, height};
}

std::vector<GaugeShape> gauge_kind_shapes(const GaugeModel& gauge, int width, int height) {
    const GaugeRect pr = gauge_paint_rect(gauge, width, height);
    const bool single = gauge.BorderStyle() == TBorderStyle::bsSingle;
    const int percent = gauge.CurrentPercent();
    const double fraction = percent * 0.01;
    std::vector<GaugeShape> shapes;
    shapes.reserve(4);  // the most any kind draws

    switch (gauge.Kind()) {
        case TGaugeKind::gkText:
            shapes.push_back(Fill(pr.left, pr.top, pr.right, pr.bottom, gauge.BackColor()));
            break;
        case TGaugeKind::gkHorizontalBar: {
            const int w = pr.right - pr.left + 1;
            const int h = pr.bottom - pr.top + 1;
            shapes.push_back(Fill(pr.left, pr.top, pr.right, pr.bottom, gauge.BackColor()));
            int f = static_cast<int>(std::trunc(w * fraction));
            if (f > w) f = w;
            // f and h are the right and bottom edges here, not lengths.
            if (f >= 1) shapes.push_back(Fill(pr.left, pr.top, f, h, gauge.ForeColor()));
            break;
        }
        case TGaugeKind::gkVerticalBar: {
            const int w = pr.right - pr.left + 1;
            const int h = pr.bottom - pr.top + 1;
            shapes.push_back(Fill(pr.left, pr.top, pr.right, pr.bottom, gauge.BackColor()));
            int f = static_cast<int>(std::trunc(h * fraction));
            if (f >= h) f = h - 1;
            shapes.push_back(Fill(pr.left, h - f, w, h, gauge.ForeColor()));
            break;
        }
        case TGaugeKind::gkPie: {
            const int w = pr.right - pr.left + (single ? 1 : 0);
            const int h = pr.bottom - pr.top + (single ? 1 : 0);
            shapes.push_back(Fill(pr.left, pr.top, pr.right, pr.bottom, gauge.Color()));
            GaugeShape ellipse;
            ellipse.op = GaugeShape::Op::Ellipse;
            ellipse.box = {pr.left, pr.top, w, h};
            ellipse.pen = gauge.ForeColor();
            ellipse.brush = gauge.BackColor();
            shapes.push_back(ellipse);
            if (percent > 0) {
                const int mx = w / 2;
                const int my = h / 2;
                const double angle = (percent / 50.0 + 0.5) * std::numbers::pi;
                GaugeShape slice = ellipse;
                slice.op = GaugeShape::Op::Pie;
                slice.brush = gauge.ForeColor();
                slice.x1 = Nearest(mx * (1 - std::cos(angle)));
                slice.y1 = Nearest(my * (1 - std::sin(angle)));
                slice.x2 = mx;
                slice.y2 = 0;
                shapes.push_back(slice);
            }
            break;
        }
        case TGaugeKind::gkNeedle: {
            const int w = pr.right - pr.left + (single ? 1 : 0);
            const int h = pr.bottom - pr.top + (single ? 1 : 0);
            shapes.push_back(Fill(pr.left, pr.top, pr.right, pr.bottom, gauge.Color()));
            // The upper half of the ellipse is the dial.
            GaugeShape dial;
            dial.op = GaugeShape::Op::Pie;
            dial.box = {pr.left, pr.top, w, 2 * h - 1};
            dial.x1 = pr.left + w;
            dial.y1 = pr.bottom - 1;
            dial.x2 = pr.left;
            dial.y2 = pr.bottom - 1;
            dial.pen = gauge.ForeColor();
            dial.brush = gauge.BackColor();
            shapes.push_back(dial);
            GaugeShape base;
            base.op = GaugeShape::Op::Line;
            base.x1 = pr.left;
            base.y1 = pr.bottom;
            base.x2 = pr.left + w;
            base.y2 = pr.bottom;
            base.pen = gauge.ForeColor();
            shapes.push_back(base);
            if (percent > 0) {
                const int mx = width / 2;
                const double angle = percent / 100.0 * std::numbers::pi;
                GaugeShape needle = base;
                needle.x1 = mx;
                needle.y1 = pr.bottom - 1;
                needle.x2 = Nearest((1 - std::cos(angle)) * mx);
                needle.y2 = Nearest((1 - std::sin(angle)) * (pr.bottom - 1));
                shapes.push_back(needle);
            }
            break;
        }
    }
    return shapes;
}

GaugePoint gauge_text_origin(const GaugeRect& paint, int textWidth, int textHeight) {
    return {(paint.right - paint.left + 1 - textWidth) / 2,
            (paint.bottom - paint.top + 1 - textHeight) / 2};
}

}  // namespace vellox
