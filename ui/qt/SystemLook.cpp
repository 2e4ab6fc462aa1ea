#include "ui/qt/SystemLook.h"

#include <QGuiApplication>
#include <QPalette>
#include <QStringList>

namespace vellox {

QColor BtnFaceColor() { return QGuiApplication::palette().color(QPalette::Button); }

QColor ToQColor(layout::Rgb c) { return QColor(c.r, c.g, c.b); }

layout::Rgb ToRgb(const QColor& c) {
    return {static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
            static_cast<std::uint8_t>(c.blue())};
}

QFont LayoutFont(layout::FontStyle style) {
    QStringList families;
    for (std::string_view f : layout::font_families(style.face)) {
        families << QString::fromUtf8(f.data(), static_cast<qsizetype>(f.size()));
    }
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(style.pixelHeight);
    return font;
}

}  // namespace vellox
