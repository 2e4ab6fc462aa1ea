#pragma once
// Read-only text grid addressed by (column, row). The first FixedRows rows and FixedCols
// columns are headings: drawn in the button-face colour and never selected.

#include <QString>
#include <QTableWidget>

namespace vellox {

class TStringGrid : public QTableWidget {
    Q_OBJECT
  public:
    explicit TStringGrid(int colCount, int rowCount, QWidget* parent = nullptr);

    int ColCount() const { return columnCount(); }
    int RowCount() const { return rowCount(); }
    void setRowCount(int rows);

    int FixedCols() const { return 1; }
    int FixedRows() const { return 1; }

    // Cells outside the grid read as empty; writing them is ignored.
    QString Cells(int col, int row) const;
    void setCells(int col, int row, const QString& text);

    int ColWidths(int col) const { return columnWidth(col); }
    void setColWidths(int col, int width) { setColumnWidth(col, width); }
    int DefaultColWidth() const;
    void setDefaultColWidth(int width);
    int DefaultRowHeight() const;
    void setDefaultRowHeight(int height);

    bool isFixed(int col, int row) const { return col < FixedCols() || row < FixedRows(); }
};

}  // namespace vellox
