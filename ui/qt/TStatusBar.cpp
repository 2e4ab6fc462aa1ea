#include "ui/qt/TStatusBar.h"

#include <QPainter>

#include "ui/qt/SystemLook.h"

namespace vellox {

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent), color_(BtnFaceColor()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TStatusBar::setPanels(std::vector<TStatusPanel> panels) {
    panels_ = std::move(panels);
    update();
}

QString TStatusBar::panelText(int index) const {
    if (index < 0 || index >= panelCount()) return {};
    return panels_[static_cast<std::size_t>(index)].Text;
}

void TStatusBar::setPanelText(int index, const QString& text) {
    if (index < 0 || index >= panelCount()) return;
    auto& p = panels_[static_cast<std::size_t>(index)];
    if (p.Text == text) return;
    p.Text = text;
    update(panelRect(index));
}

void TStatusBar::setColor(const QColor& color) {
    if (color == color_) return;
    color_ = color;
    update();
}

QRect TStatusBar::panelRect(int index) const {
    int left = 0;
    for (int i = 0; i < index && i < panelCount(); ++i) {
        left += panels_[static_cast<std::size_t>(i)].Width;
    }
    if (index < 0 || index >= panelCount()) return {};
    const int right = index == panelCount() - 1
                          ? std::max(width(), left)
                          : left + panels_[static_cast<std::size_t>(index)].Width;
    return QRect(left, 0, right - left, height());
}

void TStatusBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), color_);
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(0, 0, width() - 1, 0);
    p.setPen(palette().color(QPalette::WindowText));
    p.setFont(font());
    for (int i = 0; i < panelCount(); ++i) {
        const QRect r = panelRect(i).adjusted(2, 2, -2, -2);
        const auto& panel = panels_[static_cast<std::size_t>(i)];
        p.drawText(r, static_cast<int>(panel.Alignment | Qt::AlignVCenter) | Qt::TextSingleLine,
                   panel.Text);
    }
}

}  // namespace vellox
