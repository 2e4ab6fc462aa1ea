#pragma once
// Percentage gauge: a bar, pie or needle with the percentage written over it by colour
// inversion, so the text stays readable over both the filled and the empty part.

#include <QColor>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <stdexcept>

namespace vellox {

enum class TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };

enum class TBorderStyle { bsNone, bsSingle };

// Raised by the range checks of MinValue and MaxValue.
class EInvalidOperation : public std::logic_error {
  public:
    using std::logic_error::logic_error;
};

class TGauge : public QWidget {
    Q_OBJECT
  public:
    explicit TGauge(QWidget* parent = nullptr);

    std::int32_t MinValue() const { return minValue_; }
    std::int32_t MaxValue() const { return maxValue_; }
    std::int32_t Progress() const { return progress_; }
    TGaugeKind Kind() const { return kind_; }
    bool ShowText() const { return showText_; }
    TBorderStyle BorderStyle() const { return borderStyle_; }
    QColor ForeColor() const { return foreColor_; }
    QColor BackColor() const { return backColor_; }
    // The fill around the dial of the pie and needle kinds.
    QColor Color() const { return color_; }

    void setMinValue(std::int32_t v);
    void setMaxValue(std::int32_t v);
    void setProgress(std::int32_t v);
    void setKind(TGaugeKind v);
    void setShowText(bool v);
    void setBorderStyle(TBorderStyle v);
    void setForeColor(const QColor& v);
    void setBackColor(const QColor& v);
    void setColor(const QColor& v);

    // While loading from a layout, MinValue and MaxValue are stored without the range check,
    // since their order of assignment is arbitrary then.
    void setLoading(bool loading) { loading_ = loading; }
    bool isLoading() const { return loading_; }

    // Whole percentage of Progress between MinValue and MaxValue; 0 for an empty range.
    int CurrentPercent() const;

    // The picture Paint puts on the screen, built off-screen.
    QImage PaintImage() const;

    // Number of times the gauge has painted itself on screen.
    int paintCount() const { return paintCount_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // Draws straight away when the gauge is on screen; a hidden gauge paints when next shown.
    void RepaintNow();
    void PaintKind(QImage& overlay, const QRect& paintRect) const;
    void PaintText(QImage& image, const QRect& paintRect) const;

    std::int32_t minValue_ = 0;
    std::int32_t maxValue_ = 100;
    std::int32_t progress_ = 0;
    TGaugeKind kind_ = TGaugeKind::gkHorizontalBar;
    bool showText_ = true;
    TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
    QColor foreColor_{0, 0, 0};
    QColor backColor_{255, 255, 255};
    QColor color_;
    bool loading_ = false;
    int paintCount_ = 0;
};

}  // namespace vellox
