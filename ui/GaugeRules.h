#pragma once
// The progress gauge without a toolkit: its properties and their rules (range checks,
// clamping, repaint only on a new whole percentage) and what a paint draws, as a list of
// shapes and a text position. The Qt and Win32 gauges hold a GaugeModel and execute the
// shapes with their own drawing calls, off screen, combining by exclusive-or.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/MainFormLayout.h"

namespace vellox {

enum class TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };

enum class TBorderStyle { bsNone, bsSingle };

// Raised by the range checks of MinValue and MaxValue.
class EInvalidOperation : public std::logic_error {
  public:
    using std::logic_error::logic_error;
};

// The properties a gauge is given besides its place, font and range.
struct GaugeLook {
    TGaugeKind kind;
    bool showText;
    TBorderStyle borderStyle;
    layout::Rgb foreColor;
    // The back colour: the system's button face.
};
// Gauge1: a borderless horizontal bar with its percentage, blue on the button face.
inline constexpr GaugeLook kGauge1Look{TGaugeKind::gkHorizontalBar, true, TBorderStyle::bsNone,
                                       layout::kBlue};

// The gauge's properties. Each setter returns true when the gauge must repaint at once.
class GaugeModel {
  public:
    using Rgb = layout::Rgb;

    std::int32_t MinValue() const { return minValue_; }
    std::int32_t MaxValue() const { return maxValue_; }
    std::int32_t Progress() const { return progress_; }
    TGaugeKind Kind() const { return kind_; }
    bool ShowText() const { return showText_; }
    TBorderStyle BorderStyle() const { return borderStyle_; }
    Rgb ForeColor() const { return foreColor_; }
    Rgb BackColor() const { return backColor_; }
    // The fill around the dial of the pie and needle kinds.
    Rgb Color() const { return color_; }

    bool setMinValue(std::int32_t v);
    bool setMaxValue(std::int32_t v);
    bool setProgress(std::int32_t v);
    bool setKind(TGaugeKind v);
    bool setShowText(bool v);
    bool setBorderStyle(TBorderStyle v);
    bool setForeColor(Rgb v);
    bool setBackColor(Rgb v);
    bool setColor(Rgb v);
    // The look's properties, with the system's button face as the back colour.
    bool setLook(const GaugeLook& look, Rgb buttonFace);

    // While loading from a layout, MinValue and MaxValue are stored without the range check,
    // since their order of assignment is arbitrary then.
    void setLoading(bool loading) { loading_ = loading; }
    bool isLoading() const { return loading_; }

    // Whole percentage of Progress between MinValue and MaxValue; 0 for an empty range.
    int CurrentPercent() const;
    // The text written over the drawing: "50%".
    std::string Text() const;

  private:
    template <typename T>
    bool Store(T& field, const T& v);

    std::int32_t minValue_ = 0;
    std::int32_t maxValue_ = 100;
    std::int32_t progress_ = 0;
    TGaugeKind kind_ = TGaugeKind::gkHorizontalBar;
    bool showText_ = true;
    TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
    Rgb foreColor_ = layout::kBlack;
    Rgb backColor_ = layout::kWhite;
    Rgb color_{240, 240, 240};
    bool loading_ = false;
};

// A rectangle by its edges; right and bottom are excluded.
struct GaugeRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const GaugeRect&) const = default;
};

// One drawing step onto the overlay, with the rectangle conventions of the Win32 GDI calls of
// the same names: Fill (box, brush); Ellipse (box, outlined with pen, filled with brush); Pie
// (slice of the ellipse bounded by box, radial ends through (x1, y1) then (x2, y2), arc
// counter-clockwise from the first to the second; equal ends give the whole ellipse); Line
// ((x1, y1) to (x2, y2), the last point not drawn).
struct GaugeShape {
    enum class Op { Fill, Ellipse, Pie, Line };
    Op op = Op::Fill;
    GaugeRect box;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    layout::Rgb pen;
    layout::Rgb brush;
};

// The rectangle the kind is drawn in: the whole control, less a 1-pixel border when single.
GaugeRect gauge_paint_rect(const GaugeModel& gauge, int width, int height);

// What a paint draws onto the black overlay for the gauge's kind, in order, all clipped to
// the paint rectangle.
std::vector<GaugeShape> gauge_kind_shapes(const GaugeModel& gauge, int width, int height);

// Where the percentage text goes, in bitmap coordinates, for a text of that size.
struct GaugePoint {
    int x = 0, y = 0;
};
GaugePoint gauge_text_origin(const GaugeRect& paint, int textWidth, int textHeight);

// Where a paint draws: a picture, black at first, and one layer at a time. Each toolkit
// carries the steps out with its own drawing calls, off screen.
class GaugeCanvas {
  public:
    virtual ~GaugeCanvas() = default;
    // A fresh black layer of the picture's size; what is drawn on it is clipped to `clip`.
    virtual void begin_layer(const GaugeRect& clip) = 0;
    virtual void draw(const GaugeShape& shape) = 0;
    // Width (x) and height (y) of `text` in the gauge's font, unsmoothed.
    virtual GaugePoint text_size(const std::string& text) = 0;
    // `text` in white, unsmoothed, its cell's top-left corner at `at`.
    virtual void draw_text(const std::string& text, GaugePoint at) = 0;
    // Combines the layer into the picture by exclusive-or.
    virtual void combine_layer() = 0;
};

// What a paint puts on the picture: the kind's shapes on one layer, then the percentage, when
// shown, on another, each combined by exclusive-or, so that the text stays readable over both
// the filled and the empty part. Nothing for an empty gauge.
void paint_gauge(const GaugeModel& gauge, int width, int height, GaugeCanvas& canvas);

}  // namespace vellox
