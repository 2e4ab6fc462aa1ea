#pragma once
// Percentage gauge: a bar, pie or needle with the percentage written over it by colour
// inversion, so the text stays readable over both the filled and the empty part. The rules
// and the drawing are GaugeModel's; this widget draws them with Qt.

#include <QColor>
#include <QImage>
#include <QWidget>
#include <cstdint>

#include "ui/GaugeRules.h"

namespace vellox {

class TGauge : public QWidget {
    Q_OBJECT
  public:
    explicit TGauge(QWidget* parent = nullptr);

    std::int32_t MinValue() const { return model_.MinValue(); }
    std::int32_t MaxValue() const { return model_.MaxValue(); }
    std::int32_t Progress() const { return model_.Progress(); }
    TGaugeKind Kind() const { return model_.Kind(); }
    bool ShowText() const { return model_.ShowText(); }
    TBorderStyle BorderStyle() const { return model_.BorderStyle(); }
    QColor ForeColor() const;
    QColor BackColor() const;
    QColor Color() const;

    void setMinValue(std::int32_t v) { Apply(model_.setMinValue(v)); }
    void setMaxValue(std::int32_t v) { Apply(model_.setMaxValue(v)); }
    void setProgress(std::int32_t v) { Apply(model_.setProgress(v)); }
    void setKind(TGaugeKind v) { Apply(model_.setKind(v)); }
    void setShowText(bool v) { Apply(model_.setShowText(v)); }
    void setBorderStyle(TBorderStyle v) { Apply(model_.setBorderStyle(v)); }
    void setForeColor(const QColor& v);
    void setBackColor(const QColor& v);
    void setColor(const QColor& v);
    void setLook(const GaugeLook& look, const QColor& buttonFace);

    void setLoading(bool loading) { model_.setLoading(loading); }
    bool isLoading() const { return model_.isLoading(); }

    int CurrentPercent() const { return model_.CurrentPercent(); }
    const GaugeModel& Model() const { return model_; }

    // The picture Paint puts on the screen, built off-screen.
    QImage PaintImage() const;

    // Number of times the gauge has painted itself on screen.
    int paintCount() const { return paintCount_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // Draws straight away when the gauge is on screen; a hidden gauge paints when next shown.
    void Apply(bool repaint) {
        if (repaint && isVisible()) this->repaint();
    }

    GaugeModel model_;
    int paintCount_ = 0;
};

}  // namespace vellox
