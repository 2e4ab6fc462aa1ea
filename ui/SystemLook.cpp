#include "ui/SystemLook.h"

#include <QGuiApplication>
#include <QPalette>
#include <QStringList>

namespace vellox {

QColor BtnFaceColor() { return QGuiApplication::palette().color(QPalette::Button); }

QFont SansFont(int pixelHeight) {
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"),
                   QStringLiteral("WenQuanYi Zen Hei")});
    f.setPixelSize(pixelHeight);
    return f;
}

QFont SongFont(int pixelHeight) {
    QFont f;
    f.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                   QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(pixelHeight);
    return f;
}

}  // namespace vellox
