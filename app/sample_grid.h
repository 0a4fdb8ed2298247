#pragma once
// strgridData: the sample table on screen. The fixed header row and number column are the view's
// own headers, so they stay in place while the cells scroll; the cells are read from the cell
// store on demand, so a million rows cost nothing until they are shown.
#include <QAbstractTableModel>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>

#include "data/cell_store.h"

namespace ternova::app {

// Grid column c and row r (the fixed ones counted as 0) are model column c - 1 and row r - 1.
class CellModel : public QAbstractTableModel {
 public:
  explicit CellModel(const CellStore& cells, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // The grid's size counted as the grid counts it, fixed row and column included.
  void SetGridSize(int columns, int rows);
  int GridColumns() const { return columns_ + 1; }
  int GridRows() const { return rows_ + 1; }
  // Shows the header texts and row numbers of loaded data from now on.
  void SetLoaded() { loaded_ = true; }
  // The cell store has new texts: repaint whatever shows.
  void CellsChanged();
  // While a load writes the cell store on another thread, the cells show blank.
  void SetCellsBusy(bool busy) { busy_ = busy; }
  // Field `field` (past the design's columns) shown in one more column after them; 0: none.
  void SetExtraField(int field);

 private:
  const CellStore& cells_;
  int columns_ = 4, rows_ = 4;
  bool loaded_ = false;
  bool busy_ = false;
  int extraField_ = 0;
};

// Paints a cell's text 2 pixels in from its top-left corner, clipped to the cell.
class CellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The fixed row or column: button face with a raised edge and black 1-pixel lines; past the
// last section the grid's own background.
class FixedHeader : public QHeaderView {
 public:
  using QHeaderView::QHeaderView;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

// Paints one fixed cell as the headers do (also the corner cell).
void PaintFixedCell(QPainter& painter, const QRect& rect, const QPalette& palette, const QString& text);

class SampleGrid : public QTableView {
 public:
  static constexpr int kColumnWidth = 48;
  static constexpr int kRowHeight = 16;

  explicit SampleGrid(const CellStore& cells, QWidget* parent = nullptr);

  CellModel* Cells() const { return model_; }
  // Called with the grid row about to be shown as current, whenever the grid reports a selection.
  void SetSelectionReport(std::function<void(int)> report) { report_ = std::move(report); }

  // The current cell in grid coordinates ((0, 0) when there is none).
  int CurrentColumn() const;
  int CurrentRow() const;
  // Sets the grid's size as a load does; a current cell below the new last row moves up to it
  // and that move is reported.
  void Resize(int columns, int rows);
  // Shows a newly loaded file of `lines` lines: the header texts, 6 columns, lines + 1 rows and
  // every cell new, in one size change (reported as Resize does).
  void ShowLoadedFile(int lines);
  // Brings a grid row into view without touching the current cell.
  void ShowRow(int row);
  // Shows field `field` of every row in a column after the design's (0: none).
  void ShowExtraField(int field) { model_->SetExtraField(field); }
  // The rectangle of a grid cell in viewport coordinates (for tests and hit-testing).
  QRect CellRect(int column, int row) const;
  // Makes a cell current and brings it into view, without a report.
  void SetCurrent(int gridColumn, int gridRow);
  // The selected rows' amounts and notes as tab-separated lines, as spreadsheets paste them
  // (what Ctrl+C puts on the clipboard).
  QString SelectedRowsText() const;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Report(int gridRow);
  // Widens the fixed column so that row numbers up to `lastRow` show whole.
  void FitNumberColumn(int lastRow);

  CellModel* model_;
  std::function<void(int)> report_;
  int wheelRemainder_ = 0;
};

}  // namespace ternova::app
