#pragma once
// Status bar of text panels. Panel 0 is where the window shows its state; the bar's colour
// is the button face normally and red after an error.

#include <QColor>
#include <QString>
#include <QWidget>
#include <vector>

namespace vellox {

struct TStatusPanel {
    int Width = 50;
    QString Text;
    Qt::Alignment Alignment = Qt::AlignLeft;
};

class TStatusBar : public QWidget {
    Q_OBJECT
  public:
    explicit TStatusBar(QWidget* parent = nullptr);

    void setPanels(std::vector<TStatusPanel> panels);
    int panelCount() const { return static_cast<int>(panels_.size()); }
    const TStatusPanel& panel(int index) const { return panels_.at(index); }

    // Texts of panels that do not exist read as empty and are not stored.
    QString panelText(int index) const;
    void setPanelText(int index, const QString& text);

    QColor Color() const { return color_; }
    void setColor(const QColor& color);

    // Where panel `index` is drawn. Like the platform's status bar, the last panel reaches to
    // the right edge, so that a long state text is not cut off at the panel's own width.
    QRect panelRect(int index) const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<TStatusPanel> panels_;
    QColor color_;
};

}  // namespace vellox
