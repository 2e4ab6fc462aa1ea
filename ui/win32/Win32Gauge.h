#pragma once
// The gauge as a Win32 child window: GaugeModel's rules, drawn with GDI into off-screen
// bitmaps that are combined by exclusive-or (SRCINVERT), then put on the screen in one copy.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "ui/GaugeRules.h"

namespace vellox::win32 {

class Win32Gauge {
  public:
    // A hidden child window of `parent`.
    Win32Gauge(HWND parent, int left, int top, int width, int height);
    ~Win32Gauge();
    Win32Gauge(const Win32Gauge&) = delete;
    Win32Gauge& operator=(const Win32Gauge&) = delete;

    HWND window() const { return window_; }
    const GaugeModel& Model() const { return model_; }

    void setMinValue(std::int32_t v) { Apply(model_.setMinValue(v)); }
    void setMaxValue(std::int32_t v) { Apply(model_.setMaxValue(v)); }
    void setProgress(std::int32_t v) { Apply(model_.setProgress(v)); }
    void setKind(TGaugeKind v) { Apply(model_.setKind(v)); }
    void setShowText(bool v) { Apply(model_.setShowText(v)); }
    void setBorderStyle(TBorderStyle v) { Apply(model_.setBorderStyle(v)); }
    void setForeColor(layout::Rgb v) { Apply(model_.setForeColor(v)); }
    void setBackColor(layout::Rgb v) { Apply(model_.setBackColor(v)); }
    void setColor(layout::Rgb v) { Apply(model_.setColor(v)); }
    void setLook(const GaugeLook& look, layout::Rgb buttonFace) {
        Apply(model_.setLook(look, buttonFace));
    }
    // The gauge does not own the font; it must outlive the gauge.
    void setFont(HFONT font) { font_ = font; }

    // The picture a paint puts on the screen, as 0x00RRGGBB pixels row by row.
    std::vector<std::uint32_t> PaintPixels() const;
    int width() const;
    int height() const;

    // Number of times the gauge has painted itself on screen.
    int paintCount() const { return paintCount_; }

  private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l);
    // Draws straight away when the gauge is on screen; a hidden gauge paints when next shown.
    void Apply(bool repaint);
    void PaintOn(HDC target);
    // Builds the picture in a fresh 32-bit bitmap selected into a memory DC of `reference`.
    HBITMAP PaintImage(HDC reference) const;

    GaugeModel model_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    int paintCount_ = 0;
};

}  // namespace vellox::win32
