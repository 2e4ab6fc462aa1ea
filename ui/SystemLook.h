#pragma once
// System colours and the nearest available fonts for the window's layout.

#include <QColor>
#include <QFont>

namespace vellox {

// The button-face colour of the running style.
QColor BtnFaceColor();

// The layout's "MS Sans Serif" at a character height in pixels, falling back to a CJK font
// for Chinese text.
QFont SansFont(int pixelHeight);

// The layout's "宋体" (a CJK serif/song face) at a character height in pixels.
QFont SongFont(int pixelHeight);

}  // namespace vellox
