#pragma once
// Read-only text grid as a Win32 child window, addressed by (column, row). The first row and
// column are headings: drawn in the button-face colour and never selected. Lines run between
// all cells, and a click selects a whole row. WM_GETTEXT gives every cell, tab-separated, a
// row per line.

#include <windows.h>

#include <string>
#include <vector>

namespace vellox::win32 {

class Win32StringGrid {
  public:
    Win32StringGrid(HWND parent, int left, int top, int width, int height, int columns, int rows);
    ~Win32StringGrid();
    Win32StringGrid(const Win32StringGrid&) = delete;
    Win32StringGrid& operator=(const Win32StringGrid&) = delete;

    HWND window() const { return window_; }

    int ColCount() const { return static_cast<int>(colWidths_.size()); }
    int RowCount() const { return rows_; }
    void setRowCount(int rows);
    int Row() const { return selectedRow_; }

    // Cells outside the grid read as empty; writing them is ignored.
    std::string Cells(int col, int row) const;
    void setCells(int col, int row, const std::string& text);

    int ColWidths(int col) const { return colWidths_.at(static_cast<std::size_t>(col)); }
    void setColWidths(int col, int width);
    void setDefaultColWidth(int width);
    void setDefaultRowHeight(int height);
    int DefaultRowHeight() const { return rowHeight_; }
    // The grid does not own the font; it must outlive the grid.
    void setFont(HFONT font);

  private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l);
    void Paint(HDC dc) const;
    void Click(int y);
    // Every cell, tabs between columns and a line break after each row.
    std::wstring AllText() const;

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    std::vector<int> colWidths_;
    int rows_ = 0;
    int rowHeight_ = 24;
    int selectedRow_ = 1;
    std::vector<std::vector<std::wstring>> cells_;  // [row][col]
};

}  // namespace vellox::win32
