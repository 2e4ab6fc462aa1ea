#include "ui/qt/TBltBitmap.h"

#include <algorithm>
#include <cstdint>

namespace vellox {

void TBltBitmap::MakeLike(const QImage& tmpl) {
    QImage::operator=(QImage(tmpl.size(), QImage::Format_RGB32));
    fill(WindowFrameColor());
}

void XorInto(QImage& dst, const QImage& src) {
    // Done on the raw pixels rather than with a raster-op painter: the result must be exact,
    // and the alpha byte of RGB32 has to stay 0xFF.
    const int rows = std::min(dst.height(), src.height());
    const int cols = std::min(dst.width(), src.width());
    for (int y = 0; y < rows; ++y) {
        auto* d = reinterpret_cast<std::uint32_t*>(dst.scanLine(y));
        const auto* s = reinterpret_cast<const std::uint32_t*>(src.constScanLine(y));
        for (int x = 0; x < cols; ++x) {
            d[x] = ((d[x] ^ s[x]) & 0x00FFFFFFu) | 0xFF000000u;
        }
    }
}

}  // namespace vellox
