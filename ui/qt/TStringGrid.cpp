#include "ui/qt/TStringGrid.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

#include "ui/qt/SystemLook.h"

namespace vellox {
namespace {

// Draws heading cells in the button-face colour and keeps them out of the row selection.
class FixedCellDelegate : public QStyledItemDelegate {
  public:
    explicit FixedCellDelegate(TStringGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (!grid_->isFixed(index.column(), index.row())) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem plain(option);
        plain.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        painter->fillRect(option.rect, BtnFaceColor());
        QStyledItemDelegate::paint(painter, plain, index);
    }

  private:
    TStringGrid* grid_;
};

}  // namespace

TStringGrid::TStringGrid(int colCount, int rowCount, QWidget* parent)
    : QTableWidget(rowCount, colCount, parent) {
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setMinimumSectionSize(1);
    setShowGrid(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    setItemDelegate(new FixedCellDelegate(this));  // owned by the grid
}

void TStringGrid::setRowCount(int rows) { QTableWidget::setRowCount(rows); }

QString TStringGrid::Cells(int col, int row) const {
    const QTableWidgetItem* cell = item(row, col);
    return cell ? cell->text() : QString();
}

void TStringGrid::setCells(int col, int row, const QString& text) {
    if (col < 0 || row < 0 || col >= columnCount() || row >= rowCount()) return;
    QTableWidgetItem* cell = item(row, col);
    if (cell == nullptr) {
        setItem(row, col, new QTableWidgetItem(text));  // the grid takes ownership
        cell = item(row, col);
    } else {
        cell->setText(text);
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled;
    if (!isFixed(col, row)) flags |= Qt::ItemIsSelectable;
    cell->setFlags(flags);
}

int TStringGrid::DefaultColWidth() const { return horizontalHeader()->defaultSectionSize(); }

void TStringGrid::setDefaultColWidth(int width) {
    horizontalHeader()->setDefaultSectionSize(width);
    for (int c = 0; c < columnCount(); ++c) setColumnWidth(c, width);
}

int TStringGrid::DefaultRowHeight() const { return verticalHeader()->defaultSectionSize(); }

void TStringGrid::setDefaultRowHeight(int height) {
    verticalHeader()->setDefaultSectionSize(height);
    for (int r = 0; r < rowCount(); ++r) setRowHeight(r, height);
}

}  // namespace vellox
