#pragma once
// System colours and the nearest available fonts for the window's layout, in Qt's terms.

#include <QColor>
#include <QFont>

#include "ui/MainFormLayout.h"

namespace vellox {

// The button-face colour of the running style.
QColor BtnFaceColor();

QColor ToQColor(layout::Rgb colour);
layout::Rgb ToRgb(const QColor& colour);

// A layout font at its character height in pixels, falling back along the face's families.
QFont LayoutFont(layout::FontStyle style);

// The layout's "MS Sans Serif" and "宋体" at a character height in pixels.
inline QFont SansFont(int pixelHeight) { return LayoutFont({layout::FontFace::Sans, pixelHeight}); }
inline QFont SongFont(int pixelHeight) { return LayoutFont({layout::FontFace::Song, pixelHeight}); }

}  // namespace vellox
