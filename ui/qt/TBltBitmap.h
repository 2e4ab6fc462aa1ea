#pragma once
// Off-screen bitmap the gauge builds its picture in.

#include <QColor>
#include <QImage>

namespace vellox {

class TBltBitmap : public QImage {
  public:
    TBltBitmap() = default;

    // Takes the template's size and fills the whole area with the window-frame colour.
    void MakeLike(const QImage& tmpl);

    static QColor WindowFrameColor() { return QColor(0, 0, 0); }
};

// Combines src into dst by bitwise exclusive-or of the colour channels (dst stays opaque).
// Both images must be Format_RGB32 and of the same size.
void XorInto(QImage& dst, const QImage& src);

}  // namespace vellox
