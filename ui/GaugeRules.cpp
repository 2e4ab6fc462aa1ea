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

// An outlined, filled or stroked figure: an ellipse or pie in `box`, or a line.
GaugeShape Figure(GaugeShape::Op op, GaugeRect box, int x1, int y1, int x2, int y2, layout::Rgb pen,
                  layout::Rgb brush) {
    GaugeShape s;
    s.op = op;
    s.box = box;
    s.x1 = x1;
    s.y1 = y1;
    s.x2 = x2;
    s.y2 = y2;
    s.pen = pen;
    s.brush = brush;
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
            const GaugeRect box{pr.left, pr.top, w, h};
            shapes.push_back(Figure(GaugeShape::Op::Ellipse, box, 0, 0, 0, 0, gauge.ForeColor(),
                                    gauge.BackColor()));
            if (percent > 0) {
                const int mx = w / 2;
                const int my = h / 2;
                const double angle = (percent / 50.0 + 0.5) * std::numbers::pi;
                shapes.push_back(Figure(GaugeShape::Op::Pie, box,
                                        Nearest(mx * (1 - std::cos(angle))),
                                        Nearest(my * (1 - std::sin(angle))), mx, 0,
                                        gauge.ForeColor(), gauge.ForeColor()));
            }
            break;
        }
        case TGaugeKind::gkNeedle: {
            const int w = pr.right - pr.left + (single ? 1 : 0);
            const int h = pr.bottom - pr.top + (single ? 1 : 0);
            shapes.push_back(Fill(pr.left, pr.top, pr.right, pr.bottom, gauge.Color()));
            // The upper half of the ellipse is the dial.
            shapes.push_back(Figure(GaugeShape::Op::Pie, {pr.left, pr.top, w, 2 * h - 1},
                                    pr.left + w, pr.bottom - 1, pr.left, pr.bottom - 1,
                                    gauge.ForeColor(), gauge.BackColor()));
            shapes.push_back(Figure(GaugeShape::Op::Line, {}, pr.left, pr.bottom, pr.left + w,
                                    pr.bottom, gauge.ForeColor(), {}));
            if (percent > 0) {
                const int mx = width / 2;
                const double angle = percent / 100.0 * std::numbers::pi;
                shapes.push_back(Figure(GaugeShape::Op::Line, {}, mx, pr.bottom - 1,
                                        Nearest((1 - std::cos(angle)) * mx),
                                        Nearest((1 - std::sin(angle)) * (pr.bottom - 1)),
                                        gauge.ForeColor(), {}));
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

bool GaugeModel::setLook(const GaugeLook& look, Rgb buttonFace) {
    // Every setter runs: a repaint is due when any of them changed something.
    bool changed = setKind(look.kind);
    changed = setShowText(look.showText) || changed;
    changed = setBorderStyle(look.borderStyle) || changed;
    changed = setForeColor(look.foreColor) || changed;
    return setBackColor(buttonFace) || changed;
}

void paint_gauge(const GaugeModel& gauge, int width, int height, GaugeCanvas& canvas) {
    if (width <= 0 || height <= 0) return;
    const GaugeRect paint = gauge_paint_rect(gauge, width, height);
    canvas.begin_layer(paint);
    for (const GaugeShape& s : gauge_kind_shapes(gauge, width, height)) canvas.draw(s);
    canvas.combine_layer();
    if (!gauge.ShowText()) return;
    canvas.begin_layer(paint);
    const std::string text = gauge.Text();
    const GaugePoint size = canvas.text_size(text);
    canvas.draw_text(text, gauge_text_origin(paint, size.x, size.y));
    canvas.combine_layer();
}

}  // namespace vellox
