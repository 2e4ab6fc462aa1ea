#include "ui/win32/Win32Look.h"

#include <set>

#include "ui/win32/WideText.h"

namespace vellox::win32 {
namespace {

int CALLBACK CollectFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM data) {
    reinterpret_cast<std::set<std::wstring>*>(data)->insert(font->lfFaceName);
    return 1;
}

const std::set<std::wstring>& Families() {
    static const std::set<std::wstring> families = [] {
        std::set<std::wstring> found;
        HDC dc = ::GetDC(nullptr);
        LOGFONTW query{};
        query.lfCharSet = DEFAULT_CHARSET;
        ::EnumFontFamiliesExW(dc, &query, &CollectFamily, reinterpret_cast<LPARAM>(&found), 0);
        ::ReleaseDC(nullptr, dc);
        return found;
    }();
    return families;
}

}  // namespace

layout::Rgb SystemRgb(int index) {
    const COLORREF c = ::GetSysColor(index);
    return {GetRValue(c), GetGValue(c), GetBValue(c)};
}

std::wstring InstalledFamily(layout::FontFace face) {
    const auto names = layout::font_families(face);
    for (std::string_view name : names) {
        const std::wstring wide = Widen(name);
        if (Families().count(wide) != 0) return wide;
    }
    return Widen(names.front());
}

int PointsToPixels(int points) {
    HDC dc = ::GetDC(nullptr);
    const int pixels = ::MulDiv(points, ::GetDeviceCaps(dc, LOGPIXELSY), 72);
    ::ReleaseDC(nullptr, dc);
    return pixels;
}

HFONT CreateLayoutFont(layout::FontStyle style, bool plain) {
    const std::wstring family = InstalledFamily(style.face);
    // A negative height asks for the character height, without the internal leading.
    return ::CreateFontW(-style.pixelHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                         DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                         plain ? NONANTIALIASED_QUALITY : DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, family.c_str());
}

}  // namespace vellox::win32
