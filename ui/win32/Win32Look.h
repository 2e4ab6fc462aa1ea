#pragma once
// System colours and the nearest installed fonts for the window's layout, in GDI's terms.

#include <windows.h>

#include <string>

#include "ui/MainFormLayout.h"

namespace vellox::win32 {

layout::Rgb SystemRgb(int sysColourIndex);

// The first family of the face's list that GDI has, or the first of the list when none is.
std::wstring InstalledFamily(layout::FontFace face);

// A layout font at its character height in pixels (points: see PointsToPixels).
// Not antialiased when `plain`, as the gauge's exclusive-or text needs.
HFONT CreateLayoutFont(layout::FontStyle style, bool plain = false);

// Character height in pixels of a size in points on the screen.
int PointsToPixels(int points);

}  // namespace vellox::win32
