// Draws the program's artwork: the banner of the main window, the application icon at
// several sizes and the glyphs of the speed buttons. The PNGs it writes are committed beside
// it and built into the program as Qt resources; run `cmake --build <dir> --target artwork`
// after changing this file.

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <cstdio>

namespace {

const QColor kDeep(12, 38, 74);
const QColor kTeal(18, 132, 150);
const QColor kAmber(255, 182, 46);

QFont BoldFont(int pixels) {
    QFont f;
    f.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    f.setPixelSize(pixels);
    f.setBold(true);
    return f;
}

// A chip with pins on both sides and a downward arrow into it, in a square of `size`.
void DrawMark(QPainter& p, const QRectF& box, const QColor& body, const QColor& arrow) {
    const double s = box.width();
    const QRectF chip(box.left() + s * 0.22, box.top() + s * 0.46, s * 0.56, s * 0.44);
    p.setPen(Qt::NoPen);
    p.setBrush(body.darker(140));
    const int pins = 4;
    for (int i = 0; i < pins; ++i) {
        const double x = chip.left() + chip.width() * (i + 0.5) / pins - s * 0.035;
        p.drawRect(QRectF(x, chip.top() - s * 0.06, s * 0.07, s * 0.07));
        p.drawRect(QRectF(x, chip.bottom() - s * 0.01, s * 0.07, s * 0.07));
    }
    p.setBrush(body);
    p.drawRoundedRect(chip, s * 0.05, s * 0.05);

    QPainterPath a;
    const double cx = box.center().x();
    a.moveTo(cx - s * 0.10, box.top() + s * 0.06);
    a.lineTo(cx + s * 0.10, box.top() + s * 0.06);
    a.lineTo(cx + s * 0.10, box.top() + s * 0.34);
    a.lineTo(cx + s * 0.22, box.top() + s * 0.34);
    a.lineTo(cx, box.top() + s * 0.62);
    a.lineTo(cx - s * 0.22, box.top() + s * 0.34);
    a.lineTo(cx - s * 0.10, box.top() + s * 0.34);
    a.closeSubpath();
    p.setBrush(arrow);
    p.drawPath(a);
}

QImage Icon(int size) {
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, size, size);
    g.setColorAt(0, kTeal);
    g.setColorAt(1, kDeep);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    const double r = size * 0.18;
    p.drawRoundedRect(QRectF(0, 0, size, size), r, r);
    DrawMark(p, QRectF(size * 0.08, size * 0.06, size * 0.84, size * 0.84), QColor(230, 240, 245),
             kAmber);
    return img;
}

QImage Banner(const QString& version) {
    // 809 × 112, 24 bits per pixel.
    QImage img(809, 112, QImage::Format_RGB888);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 809, 0);
    g.setColorAt(0, kDeep);
    g.setColorAt(0.65, kTeal);
    g.setColorAt(1, QColor(190, 226, 230));
    p.fillRect(img.rect(), g);

    // Faint circuit traces across the right half.
    p.setPen(QPen(QColor(255, 255, 255, 40), 2));
    for (int i = 0; i < 6; ++i) {
        const int y = 14 + i * 16;
        const int x = 430 + (i % 3) * 40;
        p.drawLine(x, y, x + 120, y);
        p.drawLine(x + 120, y, x + 140, y + 8);
        p.drawLine(x + 140, y + 8, 800, y + 8);
        p.setBrush(QColor(255, 255, 255, 60));
        p.drawEllipse(QPointF(x, y), 3, 3);
    }

    QRadialGradient glow(QPointF(64, 56), 60);
    glow.setColorAt(0, QColor(255, 255, 255, 70));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(QPointF(64, 56), 60, 60);
    p.drawImage(QRectF(20, 12, 88, 88), Icon(176));

    p.setPen(Qt::white);
    p.setFont(BoldFont(46));
    p.drawText(QRectF(126, 8, 400, 60), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Vellox"));
    QFont small = BoldFont(15);
    small.setBold(false);
    p.setFont(small);
    p.setPen(QColor(214, 234, 240));
    p.drawText(QRectF(128, 66, 420, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("USB HID firmware download  \u00B7  Version ") + version);
    p.setPen(QPen(kAmber, 3));
    p.drawLine(128, 96, 300, 96);
    // Read back by the build, which stops when the banner shows another version than the
    // project's.
    img.setText(QStringLiteral("Version"), version);
    return img;
}

QImage Glyph(int size, int kind) {
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0, 0, size, size);
    switch (kind) {
        case 0:  // write: arrow down into the chip
            DrawMark(p, box, kDeep, kTeal);
            break;
        case 1: {  // query: magnifier
            p.setPen(QPen(kDeep, size * 0.12));
            p.setBrush(QColor(200, 230, 236));
            p.drawEllipse(QRectF(size * 0.12, size * 0.12, size * 0.5, size * 0.5));
            p.setPen(QPen(kTeal, size * 0.16, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(size * 0.58, size * 0.58), QPointF(size * 0.88, size * 0.88));
            break;
        }
        default: {  // read: arrow up out of the chip
            p.translate(0, size);
            p.scale(1, -1);
            DrawMark(p, box, kDeep, kAmber);
            break;
        }
    }
    return img;
}

bool Save(const QImage& img, const QDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    if (!img.save(path, "PNG")) {
        std::fprintf(stderr, "artwork: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR VERSION\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const QString version = QString::fromLocal8Bit(argv[2]);
    bool ok = Save(Banner(version), dir, QStringLiteral("banner.png"));
    for (int size : {16, 24, 32, 48, 64, 128}) {
        ok = Save(Icon(size), dir, QStringLiteral("icon-%1.png").arg(size)) && ok;
    }
    ok = Save(Icon(256), dir, QStringLiteral("icon.png")) && ok;
    ok = Save(Glyph(32, 0), dir, QStringLiteral("write.png")) && ok;
    ok = Save(Glyph(16, 1), dir, QStringLiteral("query.png")) && ok;
    ok = Save(Glyph(16, 2), dir, QStringLiteral("read.png")) && ok;
    return ok ? 0 : 1;
}
