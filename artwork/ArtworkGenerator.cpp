// Draws the program's artwork: the banner of the main window, the application icon at
// several sizes and as SVG and the glyphs of the speed buttons. The PNGs it writes are committed
// beside it and built into the program as Qt resources; the same pictures go into the Windows
// programs' resources as an icon file and BMPs (ui/win32/vellox.rc.in). Run
// `cmake --build <dir> --target artwork` after changing this file.

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSet>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <vector>

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

// One filled outline of a picture; the same list draws the PNGs and writes the SVG icon.
struct Shape {
    QPainterPath path;
    QColor fill;
};

// A chip with pins on both sides and a downward arrow into it, in a square of `size`.
std::vector<Shape> MarkShapes(const QRectF& box, const QColor& body, const QColor& arrow) {
    const double s = box.width();
    const QRectF chip(box.left() + s * 0.22, box.top() + s * 0.46, s * 0.56, s * 0.44);
    std::vector<Shape> shapes;
    QPainterPath pins;
    const int count = 4;
    for (int i = 0; i < count; ++i) {
        const double x = chip.left() + chip.width() * (i + 0.5) / count - s * 0.035;
        pins.addRect(QRectF(x, chip.top() - s * 0.06, s * 0.07, s * 0.07));
        pins.addRect(QRectF(x, chip.bottom() - s * 0.01, s * 0.07, s * 0.07));
    }
    shapes.push_back({pins, body.darker(140)});
    QPainterPath chipPath;
    chipPath.addRoundedRect(chip, s * 0.05, s * 0.05);
    shapes.push_back({chipPath, body});

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
    shapes.push_back({a, arrow});
    return shapes;
}

void DrawMark(QPainter& p, const QRectF& box, const QColor& body, const QColor& arrow) {
    p.setPen(Qt::NoPen);
    for (const Shape& shape : MarkShapes(box, body, arrow)) {
        p.setBrush(shape.fill);
        p.drawPath(shape.path);
    }
}

// The icon's rounded square (filled with the teal-to-deep diagonal gradient) and its mark.
QPainterPath IconSquare(double size) {
    QPainterPath square;
    square.addRoundedRect(QRectF(0, 0, size, size), size * 0.18, size * 0.18);
    return square;
}
std::vector<Shape> IconMark(double size) {
    return MarkShapes(QRectF(size * 0.08, size * 0.06, size * 0.84, size * 0.84),
                      QColor(230, 240, 245), kAmber);
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
    p.drawPath(IconSquare(size));
    for (const Shape& shape : IconMark(size)) {
        p.setBrush(shape.fill);
        p.drawPath(shape.path);
    }
    return img;
}

QString SvgPath(const QPainterPath& path) {
    QString d;
    auto point = [](const QPainterPath::Element& e) {
        return QString::number(e.x, 'f', 2) + QLatin1Char(' ') + QString::number(e.y, 'f', 2);
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            d += QStringLiteral("M") + point(e);
        } else if (e.isLineTo()) {
            d += QStringLiteral("L") + point(e);
        } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
            d += QStringLiteral("C") + point(e) + QLatin1Char(' ') + point(path.elementAt(i + 1)) +
                 QLatin1Char(' ') + point(path.elementAt(i + 2));
            i += 2;
        }
    }
    return d + QStringLiteral("Z");
}

// The icon as a scalable picture for desktops that draw it at sizes between the PNGs'.
QString IconSvg() {
    const int size = 256;
    QString svg = QStringLiteral(
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
                      "viewBox=\"0 0 %1 %1\">\n"
                      "<defs><linearGradient id=\"g\" x1=\"0\" y1=\"0\" x2=\"%1\" y2=\"%1\" "
                      "gradientUnits=\"userSpaceOnUse\"><stop offset=\"0\" stop-color=\"%2\"/>"
                      "<stop offset=\"1\" stop-color=\"%3\"/></linearGradient></defs>\n"
                      "<path fill=\"url(#g)\" d=\"%4\"/>\n")
                      .arg(size)
                      .arg(kTeal.name(), kDeep.name(), SvgPath(IconSquare(size)));
    for (const Shape& shape : IconMark(size)) {
        svg += QStringLiteral("<path fill=\"%1\" d=\"%2\"/>\n")
                   .arg(shape.fill.name(), SvgPath(shape.path));
    }
    return svg + QStringLiteral("</svg>\n");
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

bool WriteFile(const QByteArray& bytes, const QDir& dir, const QString& name) {
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "artwork: cannot write %s\n", qPrintable(file.fileName()));
        return false;
    }
    return true;
}

// Little-endian fields of the Windows file formats.
void Put16(QByteArray& out, std::uint32_t v) {
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}
void Put32(QByteArray& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// BITMAPINFOHEADER, uncompressed; 96 dots per inch for a .bmp, none for an icon. Icons give
// twice the height: the colour rows and then the mask's.
void PutInfoHeader(QByteArray& out, int width, int height, int bits, std::uint32_t imageSize,
                   std::uint32_t colours, std::uint32_t dotsPerMetre) {
    Put32(out, 40);
    Put32(out, std::uint32_t(width));
    Put32(out, std::uint32_t(height));
    Put16(out, 1);
    Put16(out, std::uint32_t(bits));
    Put32(out, 0);  // BI_RGB
    Put32(out, imageSize);
    Put32(out, dotsPerMetre);
    Put32(out, dotsPerMetre);
    Put32(out, colours);
    Put32(out, 0);
}

int RowBytes(int width, int bits) { return (width * bits + 31) / 32 * 4; }

// A .bmp file, rows bottom-up: 24 bits per pixel, or 8 with a 256-entry colour table when the
// picture is indexed.
QByteArray Bmp(const QImage& img) {
    const bool indexed = img.format() == QImage::Format_Indexed8;
    const int bits = indexed ? 8 : 24;
    const int row = RowBytes(img.width(), bits);
    const std::uint32_t table = indexed ? 256 * 4 : 0;
    const std::uint32_t pixels = std::uint32_t(row) * std::uint32_t(img.height());
    QByteArray out;
    out.append("BM");
    Put32(out, 14 + 40 + table + pixels);
    Put32(out, 0);
    Put32(out, 14 + 40 + table);
    PutInfoHeader(out, img.width(), img.height(), bits, pixels, indexed ? 256 : 0, 3780);
    if (indexed) {
        const QList<QRgb> colours = img.colorTable();
        for (int i = 0; i < 256; ++i) {
            const QRgb c = i < colours.size() ? colours[i] : 0;
            out.append(char(qBlue(c)));
            out.append(char(qGreen(c)));
            out.append(char(qRed(c)));
            out.append(char(0));
        }
    }
    for (int y = img.height() - 1; y >= 0; --y) {
        QByteArray line(row, 0);
        for (int x = 0; x < img.width(); ++x) {
            if (indexed) {
                line[x] = char(img.pixelIndex(x, y));
            } else {
                const QRgb c = img.pixel(x, y);
                line[3 * x] = char(qBlue(c));
                line[3 * x + 1] = char(qGreen(c));
                line[3 * x + 2] = char(qRed(c));
            }
        }
        out.append(line);
    }
    return out;
}

// A button glyph for Windows: a BMP has no alpha, so the glyph is laid on the button face
// (COLOR_BTNFACE, 240 240 240) and kept in 256 colours. The drawings use fewer, so each keeps
// its exact colours (the face first, from the top left corner); a drawing with more is refused
// rather than dithered. Returns a null image then.
QImage FlatGlyph(const QImage& glyph) {
    QImage flat(glyph.size(), QImage::Format_RGB32);
    flat.fill(QColor(240, 240, 240));
    QPainter p(&flat);
    p.drawImage(0, 0, glyph);
    p.end();
    QSet<QRgb> colours;
    for (int y = 0; y < flat.height(); ++y) {
        for (int x = 0; x < flat.width(); ++x) {
            colours.insert(flat.pixel(x, y));
        }
    }
    if (colours.size() > 256) {
        std::fprintf(stderr, "artwork: a glyph has %lld colours, more than a 256-colour BMP holds\n",
                     static_cast<long long>(colours.size()));
        return {};
    }
    return flat.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}

// The icon file: one 32-bit image with alpha per size, each as a DIB with its AND mask, except
// 256 × 256 which icon files hold as PNG.
QByteArray Ico(const std::vector<QImage>& images) {
    std::vector<QByteArray> entries;
    for (const QImage& source : images) {
        const QImage img = source.convertToFormat(QImage::Format_ARGB32);
        QByteArray data;
        if (img.width() >= 256) {
            QBuffer buffer(&data);
            buffer.open(QIODevice::WriteOnly);
            img.save(&buffer, "PNG");
        } else {
            const int maskRow = RowBytes(img.width(), 1);
            const std::uint32_t colour = std::uint32_t(img.width() * 4 * img.height());
            PutInfoHeader(data, img.width(), img.height() * 2, 32,
                          colour + std::uint32_t(maskRow * img.height()), 0, 0);
            for (int y = img.height() - 1; y >= 0; --y) {
                for (int x = 0; x < img.width(); ++x) {
                    const QRgb c = img.pixel(x, y);
                    data.append(char(qBlue(c)));
                    data.append(char(qGreen(c)));
                    data.append(char(qRed(c)));
                    data.append(char(qAlpha(c)));
                }
            }
            for (int y = img.height() - 1; y >= 0; --y) {
                QByteArray line(maskRow, 0);
                for (int x = 0; x < img.width(); ++x) {
                    if (qAlpha(img.pixel(x, y)) == 0) {
                        line[x / 8] = char(line[x / 8] | (0x80 >> (x % 8)));
                    }
                }
                data.append(line);
            }
        }
        entries.push_back(data);
    }
    QByteArray out;
    Put16(out, 0);
    Put16(out, 1);  // icon
    Put16(out, std::uint32_t(images.size()));
    std::uint32_t offset = 6 + 16 * std::uint32_t(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int size = images[i].width();
        out.append(char(size >= 256 ? 0 : size));
        out.append(char(size >= 256 ? 0 : images[i].height()));
        out.append(char(0));  // no colour table
        out.append(char(0));
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, std::uint32_t(entries[i].size()));
        Put32(out, offset);
        offset += std::uint32_t(entries[i].size());
    }
    for (const QByteArray& data : entries) {
        out.append(data);
    }
    return out;
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
    const QImage banner = Banner(version);
    bool ok = Save(banner, dir, QStringLiteral("banner.png"));
    ok = WriteFile(Bmp(banner), dir, QStringLiteral("banner.bmp")) && ok;
    std::vector<QImage> icons;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        icons.push_back(Icon(size));
        ok = Save(icons.back(), dir, QStringLiteral("icon-%1.png").arg(size)) && ok;
    }
    icons.push_back(Icon(256));
    ok = Save(icons.back(), dir, QStringLiteral("icon.png")) && ok;
    ok = WriteFile(Ico(icons), dir, QStringLiteral("icon.ico")) && ok;
    QFile svg(dir.filePath(QStringLiteral("icon.svg")));
    if (!svg.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        svg.write(IconSvg().toUtf8()) < 0) {
        std::fprintf(stderr, "artwork: cannot write %s\n", qPrintable(svg.fileName()));
        ok = false;
    }
    const struct {
        int size;
        int kind;
        const char* name;
    } glyphs[] = {{32, 0, "write"}, {16, 1, "query"}, {16, 2, "read"}};
    for (const auto& g : glyphs) {
        const QImage glyph = Glyph(g.size, g.kind);
        const QString name = QString::fromLatin1(g.name);
        ok = Save(glyph, dir, name + QStringLiteral(".png")) && ok;
        const QImage flat = FlatGlyph(glyph);
        ok = !flat.isNull() && WriteFile(Bmp(flat), dir, name + QStringLiteral(".bmp")) && ok;
    }
    return ok ? 0 : 1;
}
