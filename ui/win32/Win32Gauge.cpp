#include "ui/win32/Win32Gauge.h"

#include <optional>
#include <utility>

#include "ui/win32/CallbackBoundary.h"
#include "ui/win32/WideText.h"

namespace vellox::win32 {
namespace {

constexpr wchar_t kClassName[] = L"TGauge";

COLORREF Ref(layout::Rgb c) { return RGB(c.r, c.g, c.b); }

// Top-down, 32 bits a pixel: the pixels read as 0x00RRGGBB, row by row.
BITMAPINFO TopDownInfo(int w, int h) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

HBITMAP MakeBitmap(HDC reference, int w, int h) {
    const BITMAPINFO info = TopDownInfo(w, h);
    void* bits = nullptr;
    return ::CreateDIBSection(reference, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

void FillWith(HDC dc, const RECT& r, COLORREF colour) {
    HBRUSH brush = ::CreateSolidBrush(colour);
    ::FillRect(dc, &r, brush);
    ::DeleteObject(brush);
}

// An off-screen bitmap in its own memory DC.
struct BltBitmap {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    int w = 0, h = 0;

    BltBitmap(HDC reference, int width, int height) : w(width), h(height) {
        dc = ::CreateCompatibleDC(reference);
        bitmap = MakeBitmap(reference, w, h);
        previous = ::SelectObject(dc, bitmap);
    }
    ~BltBitmap() {
        if (dc != nullptr) {
            ::SelectObject(dc, previous);
            ::DeleteDC(dc);
        }
        if (bitmap != nullptr) ::DeleteObject(bitmap);
    }
    BltBitmap(const BltBitmap&) = delete;
    BltBitmap& operator=(const BltBitmap&) = delete;

    // Takes the template's size and fills it with the window-frame colour.
    static BltBitmap MakeLike(HDC reference, const BltBitmap& tmpl) {
        BltBitmap b(reference, tmpl.w, tmpl.h);
        b.Fill(::GetSysColor(COLOR_WINDOWFRAME));
        return b;
    }
    BltBitmap(BltBitmap&& o) noexcept
        : dc(o.dc), bitmap(o.bitmap), previous(o.previous), w(o.w), h(o.h) {
        o.dc = nullptr;
        o.bitmap = nullptr;
    }
    void Fill(COLORREF colour) {
        const RECT r{0, 0, w, h};
        FillWith(dc, r, colour);
    }
    HBITMAP Release() {
        ::SelectObject(dc, previous);
        ::DeleteDC(dc);
        dc = nullptr;
        return std::exchange(bitmap, nullptr);
    }
};

void DrawShape(HDC dc, const GaugeShape& s) {
    const RECT box{s.box.left, s.box.top, s.box.right, s.box.bottom};
    if (s.op == GaugeShape::Op::Fill) {
        if (box.right > box.left && box.bottom > box.top) FillWith(dc, box, Ref(s.brush));
        return;
    }
    HPEN pen = ::CreatePen(PS_SOLID, 1, Ref(s.pen));
    HBRUSH brush = ::CreateSolidBrush(Ref(s.brush));
    HGDIOBJ oldPen = ::SelectObject(dc, pen);
    HGDIOBJ oldBrush = ::SelectObject(dc, brush);
    switch (s.op) {
        case GaugeShape::Op::Ellipse:
            ::Ellipse(dc, box.left, box.top, box.right, box.bottom);
            break;
        case GaugeShape::Op::Pie:
            ::Pie(dc, box.left, box.top, box.right, box.bottom, s.x1, s.y1, s.x2, s.y2);
            break;
        case GaugeShape::Op::Line:
            ::MoveToEx(dc, s.x1, s.y1, nullptr);
            ::LineTo(dc, s.x2, s.y2);
            break;
        case GaugeShape::Op::Fill:
            break;
    }
    ::SelectObject(dc, oldPen);
    ::SelectObject(dc, oldBrush);
    ::DeleteObject(pen);
    ::DeleteObject(brush);
}

// A paint's steps with GDI on off-screen bitmaps.
class GdiGaugeCanvas : public GaugeCanvas {
  public:
    GdiGaugeCanvas(HDC reference, BltBitmap& picture, HFONT font)
        : reference_(reference), picture_(picture), font_(font) {}

    void begin_layer(const GaugeRect& clip) override {
        layer_.reset();
        layer_.emplace(BltBitmap::MakeLike(reference_, picture_));
        layer_->Fill(RGB(0, 0, 0));
        ::IntersectClipRect(layer_->dc, clip.left, clip.top, clip.right, clip.bottom);
        // Deselected when the layer's DC goes; the font outlives it.
        if (font_ != nullptr) ::SelectObject(layer_->dc, font_);
        ::SetBkMode(layer_->dc, TRANSPARENT);
        ::SetTextColor(layer_->dc, RGB(255, 255, 255));
    }
    void draw(const GaugeShape& shape) override { DrawShape(layer_->dc, shape); }
    GaugePoint text_size(const std::string& text) override {
        const std::wstring wide = Widen(text);
        SIZE size{};
        ::GetTextExtentPoint32W(layer_->dc, wide.c_str(), static_cast<int>(wide.size()), &size);
        return {size.cx, size.cy};
    }
    void draw_text(const std::string& text, GaugePoint at) override {
        const std::wstring wide = Widen(text);
        ::TextOutW(layer_->dc, at.x, at.y, wide.c_str(), static_cast<int>(wide.size()));
    }
    void combine_layer() override {
        ::BitBlt(picture_.dc, 0, 0, picture_.w, picture_.h, layer_->dc, 0, 0, SRCINVERT);
        layer_.reset();
    }

  private:
    HDC reference_;
    BltBitmap& picture_;
    HFONT font_;
    std::optional<BltBitmap> layer_;
};

}  // namespace

Win32Gauge::Win32Gauge(HWND parent, int left, int top, int width, int height) {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = &Win32Gauge::WindowProcedure;
    cls.hInstance = ::GetModuleHandleW(nullptr);
    cls.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    cls.lpszClassName = kClassName;
    ::RegisterClassExW(&cls);
    window_ = ::CreateWindowExW(0, kClassName, L"", WS_CHILD, left, top, width, height, parent,
                                nullptr, cls.hInstance, nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    model_.setColor({static_cast<std::uint8_t>(GetRValue(::GetSysColor(COLOR_BTNFACE))),
                     static_cast<std::uint8_t>(GetGValue(::GetSysColor(COLOR_BTNFACE))),
                     static_cast<std::uint8_t>(GetBValue(::GetSysColor(COLOR_BTNFACE)))});
}

Win32Gauge::~Win32Gauge() {
    // Cleared when the window went with its parent: a handle may be reused once destroyed, so
    // IsWindow cannot tell.
    if (window_ != nullptr) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }
}

int Win32Gauge::width() const {
    RECT r{};
    ::GetClientRect(window_, &r);
    return r.right;
}

int Win32Gauge::height() const {
    RECT r{};
    ::GetClientRect(window_, &r);
    return r.bottom;
}

void Win32Gauge::Apply(bool repaint) {
    if (!repaint || !::IsWindowVisible(window_)) return;
    // Straight onto the screen, no paint message involved.
    HDC dc = ::GetDC(window_);
    PaintOn(dc);
    ::ReleaseDC(window_, dc);
}

void Win32Gauge::PaintOn(HDC target) {
    ++paintCount_;
    HDC memory = ::CreateCompatibleDC(target);
    HBITMAP image = PaintImage(target);
    HGDIOBJ old = ::SelectObject(memory, image);
    ::BitBlt(target, 0, 0, width(), height(), memory, 0, 0, SRCCOPY);
    ::SelectObject(memory, old);
    ::DeleteObject(image);
    ::DeleteDC(memory);
}

HBITMAP Win32Gauge::PaintImage(HDC reference) const {
    BltBitmap image(reference, width(), height());
    image.Fill(RGB(0, 0, 0));
    GdiGaugeCanvas canvas(reference, image, font_);
    paint_gauge(model_, image.w, image.h, canvas);
    return image.Release();
}

std::vector<std::uint32_t> Win32Gauge::PaintPixels() const {
    const int w = width();
    const int h = height();
    HDC screen = ::GetDC(nullptr);
    HBITMAP image = PaintImage(screen);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    BITMAPINFO info = TopDownInfo(w, h);
    ::GetDIBits(screen, image, 0, static_cast<UINT>(h), pixels.data(), &info, DIB_RGB_COLORS);
    ::DeleteObject(image);
    ::ReleaseDC(nullptr, screen);
    for (std::uint32_t& p : pixels) p &= 0x00FFFFFFu;
    return pixels;
}

LRESULT CALLBACK Win32Gauge::WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    // Drawing allocates: an exception must not reach the system's frames.
    return CatchAtBoundary(LRESULT{0}, [&]() -> LRESULT {
        auto* self = reinterpret_cast<Win32Gauge*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        switch (message) {
            case WM_ERASEBKGND:
                // The painting covers the whole rectangle.
                return 1;
            case WM_NCDESTROY:
                if (self != nullptr) self->window_ = nullptr;
                return ::DefWindowProcW(window, message, w, l);
            case WM_PAINT: {
                PAINTSTRUCT ps;
                HDC dc = ::BeginPaint(window, &ps);
                if (self != nullptr) self->PaintOn(dc);
                ::EndPaint(window, &ps);
                return 0;
            }
            default:
                return ::DefWindowProcW(window, message, w, l);
        }
    });
}

}  // namespace vellox::win32
