#include "ui/win32/Win32StringGrid.h"

#include <algorithm>

#include "ui/win32/CallbackBoundary.h"
#include "ui/win32/WideText.h"

namespace vellox::win32 {
namespace {

constexpr wchar_t kClassName[] = L"TStringGrid";

}  // namespace

Win32StringGrid::Win32StringGrid(HWND parent, int left, int top, int width, int height,
                                 int columns, int rows)
    : colWidths_(static_cast<std::size_t>(columns), 64) {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.style = CS_DBLCLKS;
    cls.lpfnWndProc = &Win32StringGrid::WindowProcedure;
    cls.hInstance = ::GetModuleHandleW(nullptr);
    cls.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    cls.lpszClassName = kClassName;
    ::RegisterClassExW(&cls);
    window_ = ::CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_TABSTOP, left, top, width,
                                height, parent, nullptr, cls.hInstance, nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    setRowCount(rows);
}

Win32StringGrid::~Win32StringGrid() {
    // Cleared when the window went with its parent: a handle may be reused once destroyed, so
    // IsWindow cannot tell.
    if (window_ != nullptr) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }
}

void Win32StringGrid::setRowCount(int rows) {
    rows_ = std::max(rows, 0);
    cells_.resize(static_cast<std::size_t>(rows_));
    for (auto& row : cells_) row.resize(colWidths_.size());
    selectedRow_ = std::min(std::max(selectedRow_, 1), std::max(rows_ - 1, 1));
    ::InvalidateRect(window_, nullptr, TRUE);
}

std::string Win32StringGrid::Cells(int col, int row) const {
    if (col < 0 || row < 0 || col >= ColCount() || row >= rows_) return {};
    return Narrow(cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)]);
}

void Win32StringGrid::setCells(int col, int row, const std::string& text) {
    if (col < 0 || row < 0 || col >= ColCount() || row >= rows_) return;
    cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)] = Widen(text);
    ::InvalidateRect(window_, nullptr, TRUE);
}

void Win32StringGrid::setColWidths(int col, int width) {
    if (col < 0 || col >= ColCount()) return;
    colWidths_[static_cast<std::size_t>(col)] = width;
    ::InvalidateRect(window_, nullptr, TRUE);
}

void Win32StringGrid::setDefaultColWidth(int width) {
    std::fill(colWidths_.begin(), colWidths_.end(), width);
    ::InvalidateRect(window_, nullptr, TRUE);
}

void Win32StringGrid::setDefaultRowHeight(int height) {
    rowHeight_ = height;
    ::InvalidateRect(window_, nullptr, TRUE);
}

void Win32StringGrid::setFont(HFONT font) {
    font_ = font;
    ::InvalidateRect(window_, nullptr, TRUE);
}

void Win32StringGrid::Paint(HDC dc) const {
    HGDIOBJ oldFont = font_ != nullptr ? ::SelectObject(dc, font_) : nullptr;
    ::SetBkMode(dc, TRANSPARENT);
    HPEN line = ::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNSHADOW));
    HGDIOBJ oldPen = ::SelectObject(dc, line);
    for (int row = 0; row < rows_; ++row) {
        int x = 0;
        const int y = row * rowHeight_;
        for (int col = 0; col < ColCount(); ++col) {
            const int w = colWidths_[static_cast<std::size_t>(col)];
            const RECT cell{x, y, x + w - 1, y + rowHeight_ - 1};
            const bool fixed = row == 0 || col == 0;
            const bool selected = !fixed && row == selectedRow_;
            const int background = fixed ? COLOR_BTNFACE : selected ? COLOR_HIGHLIGHT : COLOR_WINDOW;
            ::FillRect(dc, &cell, ::GetSysColorBrush(background));
            ::SetTextColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
            RECT text = cell;
            text.left += 2;
            const std::wstring& s = cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
            ::DrawTextW(dc, s.c_str(), static_cast<int>(s.size()), &text,
                        DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
            // Lines between all cells, on the right and bottom edge of each.
            ::MoveToEx(dc, x + w - 1, y, nullptr);
            ::LineTo(dc, x + w - 1, y + rowHeight_ - 1);
            ::LineTo(dc, x - 1, y + rowHeight_ - 1);
            x += w;
        }
    }
    ::SelectObject(dc, oldPen);
    ::DeleteObject(line);
    if (oldFont != nullptr) ::SelectObject(dc, oldFont);
}

std::wstring Win32StringGrid::AllText() const {
    std::wstring text;
    for (const auto& row : cells_) {
        for (std::size_t col = 0; col < row.size(); ++col) {
            if (col > 0) text += L'\t';
            text += row[col];
        }
        text += L"\r\n";
    }
    return text;
}

void Win32StringGrid::Click(int y) {
    const int row = y / std::max(rowHeight_, 1);
    if (row < 1 || row >= rows_) return;
    selectedRow_ = row;
    ::InvalidateRect(window_, nullptr, TRUE);
}

LRESULT CALLBACK Win32StringGrid::WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    // Drawing allocates: an exception must not reach the system's frames.
    return CatchAtBoundary(LRESULT{0}, [&]() -> LRESULT {
        auto* self = reinterpret_cast<Win32StringGrid*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self == nullptr) return ::DefWindowProcW(window, message, w, l);
        switch (message) {
            case WM_NCDESTROY:
                self->window_ = nullptr;
                return ::DefWindowProcW(window, message, w, l);
            case WM_PAINT: {
                PAINTSTRUCT ps;
                HDC dc = ::BeginPaint(window, &ps);
                self->Paint(dc);
                ::EndPaint(window, &ps);
                return 0;
            }
            case WM_LBUTTONDOWN:
                ::SetFocus(window);
                self->Click(static_cast<short>(HIWORD(l)));
                return 0;
            case WM_KEYDOWN:
                if (w == VK_UP && self->selectedRow_ > 1)
                    self->Click((self->selectedRow_ - 1) * self->rowHeight_);
                if (w == VK_DOWN) self->Click((self->selectedRow_ + 1) * self->rowHeight_);
                return 0;
            case WM_GETDLGCODE:
                return DLGC_WANTARROWS;
            case WM_GETTEXTLENGTH:
                return static_cast<LRESULT>(self->AllText().size());
            case WM_GETTEXT: {
                // The whole grid as text, so that other programs (screen readers, tests) can read
                // it: cells separated by tabs, rows by line breaks.
                const std::wstring text = self->AllText();
                const std::size_t room = static_cast<std::size_t>(w);
                if (room == 0) return 0;
                const std::size_t n = std::min(room - 1, text.size());
                auto* out = reinterpret_cast<wchar_t*>(l);
                std::copy_n(text.data(), n, out);
                out[n] = L'\0';
                return static_cast<LRESULT>(n);
            }
            default:
                return ::DefWindowProcW(window, message, w, l);
        }
    });
}

}  // namespace vellox::win32
