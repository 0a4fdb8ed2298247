#include "app/sample_grid.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QWheelEvent>

namespace ternova::app {

namespace {

constexpr const char* kHeader[] = {"SiO2", "Al2O3+CaO", "MgO", "FeO", "Note"};

}  // namespace

CellModel::CellModel(const CellStore& cells, QObject* parent) : QAbstractTableModel(parent), cells_(cells) {}

int CellModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }
int CellModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : columns_ + (extraField_ > 0 ? 1 : 0);
}

QVariant CellModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || busy_) return {};
  const int field = index.column() == columns_ ? extraField_ : index.column() + 1;
  return QString::fromStdString(cells_.Text(field, index.row() + 1));
}

void CellModel::SetExtraField(int field) {
  if (field == extraField_) return;
  if (extraField_ > 0) {
    beginRemoveColumns({}, columns_, columns_);
    extraField_ = 0;
    endRemoveColumns();
  }
  if (field > 0) {
    beginInsertColumns({}, columns_, columns_);
    extraField_ = field;
    endInsertColumns();
  }
}

QVariant CellModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
  if (role != Qt::DisplayRole || !loaded_) return {};
  if (orientation == Qt::Vertical) return QString::number(section + 1);
  if (extraField_ > 0 && section == columns_) return QStringLiteral("Field %1").arg(extraField_);
  if (section >= 0 && section < static_cast<int>(std::size(kHeader))) return QString::fromLatin1(kHeader[section]);
  return {};
}

Qt::ItemFlags CellModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void CellModel::SetGridSize(int columns, int rows) {
  const int c = std::max(columns - 1, 0), r = std::max(rows - 1, 0);
  // Rows are inserted and removed as blocks so the view keeps its current cell and does no
  // per-row work.
  if (c > columns_) {
    beginInsertColumns({}, columns_, c - 1);
    columns_ = c;
    endInsertColumns();
  } else if (c < columns_) {
    beginRemoveColumns({}, c, columns_ - 1);
    columns_ = c;
    endRemoveColumns();
  }
  if (r > rows_) {
    beginInsertRows({}, rows_, r - 1);
    rows_ = r;
    endInsertRows();
  } else if (r < rows_) {
    beginRemoveRows({}, r, rows_ - 1);
    rows_ = r;
    endRemoveRows();
  }
}

void CellModel::CellsChanged() {
  if (rows_ > 0 && columns_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1), {Qt::DisplayRole});
  emit headerDataChanged(Qt::Horizontal, 0, std::max(columnCount() - 1, 0));
  emit headerDataChanged(Qt::Vertical, 0, std::max(rows_ - 1, 0));
}

void CellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const bool selected = option.state & QStyle::State_Selected;
  const QPalette& pal = option.palette;
  painter->fillRect(option.rect, selected ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base));
  painter->save();
  painter->setClipRect(option.rect);
  painter->setFont(option.font);
  painter->setPen(selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
  painter->drawText(option.rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                    index.data().toString());
  painter->restore();
  if ((option.state & QStyle::State_HasFocus) && (option.state & QStyle::State_Active)) {
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(option);
    focus.backgroundColor = pal.color(QPalette::Highlight);
    if (const QWidget* w = option.widget) w->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, w);
  }
}

void PaintFixedCell(QPainter& painter, const QRect& rect, const QPalette& palette, const QString& text) {
  painter.fillRect(rect, palette.color(QPalette::Button));
  // Raised: a light edge at the top and left; the grid's black lines at the right and bottom.
  painter.setPen(palette.color(QPalette::Light));
  painter.drawLine(rect.left(), rect.top(), rect.right() - 1, rect.top());
  painter.drawLine(rect.left(), rect.top(), rect.left(), rect.bottom() - 1);
  painter.setPen(Qt::black);
  painter.drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
  painter.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
  if (text.isEmpty()) return;
  painter.save();
  painter.setClipRect(rect.adjusted(0, 0, -1, -1));
  painter.setPen(palette.color(QPalette::ButtonText));
  painter.drawText(rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  painter.restore();
}

void FixedHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  if (!rect.isValid()) return;
  PaintFixedCell(*painter, rect, palette(), model() ? model()->headerData(logicalIndex, orientation()).toString() : QString());
}

void FixedHeader::paintEvent(QPaintEvent* event) {
  QHeaderView::paintEvent(event);
  // Qt draws an empty section past the last one; the grid ends with its last column or row.
  const int end = count() > 0 ? sectionViewportPosition(logicalIndex(count() - 1)) + sectionSize(logicalIndex(count() - 1)) : 0;
  QPainter painter(viewport());
  const QColor base = palette().color(QPalette::Base);
  if (orientation() == Qt::Horizontal) painter.fillRect(QRect(end, 0, viewport()->width() - end, viewport()->height()), base);
  else painter.fillRect(QRect(0, end, viewport()->width(), viewport()->height() - end), base);
}

SampleGrid::SampleGrid(const CellStore& cells, QWidget* parent) : QTableView(parent), model_(new CellModel(cells, this)) {
  setHorizontalHeader(new FixedHeader(Qt::Horizontal, this));
  setVerticalHeader(new FixedHeader(Qt::Vertical, this));
  setModel(model_);
  setItemDelegate(new CellDelegate(this));
  setEditTriggers(NoEditTriggers);
  setSelectionMode(ContiguousSelection);
  setSelectionBehavior(SelectItems);
  setTabKeyNavigation(false);  // Tab leaves the grid
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setStyleSheet(QStringLiteral("QTableView { gridline-color: silver; }"));

  QHeaderView* top = horizontalHeader();
  top->setMinimumSectionSize(1);
  top->setDefaultSectionSize(kColumnWidth);
  top->setSectionResizeMode(QHeaderView::Fixed);
  top->setSectionsMovable(false);
  top->setSectionsClickable(false);
  top->setHighlightSections(false);
  top->setFixedHeight(kRowHeight);
  QHeaderView* left = verticalHeader();
  left->setMinimumSectionSize(1);
  left->setDefaultSectionSize(kRowHeight);
  left->setSectionResizeMode(QHeaderView::Fixed);
  left->setSectionsMovable(false);
  left->setSectionsClickable(false);
  left->setHighlightSections(false);
  left->setFixedWidth(kColumnWidth);

  // The corner is a fixed cell like the others.
  if (QWidget* corner = findChild<QAbstractButton*>()) corner->installEventFilter(this);

  // The current cell starts at column 1, row 1; nothing is reported for it.
  selectionModel()->setCurrentIndex(model_->index(0, 0), QItemSelectionModel::ClearAndSelect);
}

int SampleGrid::CurrentColumn() const { return currentIndex().isValid() ? currentIndex().column() + 1 : 0; }
int SampleGrid::CurrentRow() const { return currentIndex().isValid() ? currentIndex().row() + 1 : 0; }

QRect SampleGrid::CellRect(int column, int row) const { return visualRect(model_->index(row - 1, column - 1)); }

void SampleGrid::SetCurrent(int gridColumn, int gridRow) {
  const QModelIndex index = model_->index(gridRow - 1, gridColumn - 1);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  updateGeometries();  // the scroll range may still be that of the previous size
  scrollTo(index);
}

void SampleGrid::Report(int gridRow) {
  // The header row is fixed for good, so row 0 never reaches the handler.
  if (gridRow >= 1 && report_) report_(gridRow);
}

void SampleGrid::Resize(int columns, int rows) {
  const int column = std::max(CurrentColumn(), 1);
  bool pushed = false;
  // A current cell below the new last row moves up to it before the rows go.
  if (rows >= 2 && CurrentRow() > rows - 1) {
    SetCurrent(std::min(column, columns - 1), rows - 1);
    pushed = true;
  }
  model_->SetGridSize(columns, rows);
  FitNumberColumn(rows - 1);
  if (rows >= 2 && !currentIndex().isValid()) SetCurrent(std::min(column, columns - 1), 1);
  if (pushed) Report(rows - 1);
}

void SampleGrid::FitNumberColumn(int lastRow) {
  // A clipped row number reads as another row ("1000000" as "100000"): the fixed column grows
  // to the widest number, text 2 pixels in and clear of the black line; the data columns keep
  // their width.
  const QFontMetrics metrics = verticalHeader()->fontMetrics();
  int digit = 0;
  for (char c = '0'; c <= '9'; ++c) digit = std::max(digit, metrics.horizontalAdvance(QLatin1Char(c)));
  const int digits = static_cast<int>(QString::number(std::max(lastRow, 1)).size());
  const int width = std::max(kColumnWidth, 2 + digits * digit + 2);
  if (verticalHeader()->width() != width) verticalHeader()->setFixedWidth(width);
}

void SampleGrid::ShowLoadedFile(int lines) {
  model_->SetLoaded();
  Resize(6, lines + 1);
  // The scroll bars a long file brings are laid out now, so the first paint of the new rows
  // is at the final width and not followed by a second one.
  updateGeometries();
  model_->CellsChanged();
}

void SampleGrid::ShowRow(int row) {
  if (row < 1 || row > model_->rowCount()) return;
  updateGeometries();
  scrollTo(model_->index(row - 1, std::max(currentIndex().column(), 0)));
}

QString SampleGrid::SelectedRowsText() const {
  // Whole rows, from the ranges (a million selected rows are not a million indexes).
  std::vector<std::pair<int, int>> rows;
  for (const QItemSelectionRange& range : selectionModel()->selection()) rows.emplace_back(range.top(), range.bottom());
  std::sort(rows.begin(), rows.end());
  QString text;
  int next = 0;
  for (const auto& [top, bottom] : rows) {
    for (int row = std::max(top, next); row <= bottom; ++row) {
      QStringList fields;
      for (int column = 0; column < std::min(CellStore::kColumns, model_->columnCount()); ++column)
        fields << model_->index(row, column).data().toString();
      // A missing note adds no empty field at the line's end.
      while (!fields.isEmpty() && fields.back().isEmpty()) fields.removeLast();
      text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    next = std::max(next, bottom + 1);
  }
  return text;
}

void SampleGrid::mousePressEvent(QMouseEvent* event) {
  // Only the left button acts on the grid, and only on a cell.
  const QModelIndex index = indexAt(event->position().toPoint());
  if (event->button() != Qt::LeftButton || !index.isValid()) {
    event->accept();
    return;
  }
  QTableView::mousePressEvent(event);
  // Shift+click only extends the range.
  if (!(event->modifiers() & Qt::ShiftModifier)) Report(index.row() + 1);
}

void SampleGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double-click neither moves nor reports.
  event->accept();
}

void SampleGrid::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    // Samples go back to the spreadsheet they came from.
    const QString text = SelectedRowsText();
    if (!text.trimmed().isEmpty()) QGuiApplication::clipboard()->setText(text);
    event->accept();
    return;
  }
  const QModelIndex before = currentIndex();
  switch (event->key()) {
    case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_Left: case Qt::Key_Right:
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Home: case Qt::Key_End:
      break;
    default:
      // Typing does not search the cells.
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  QTableView::keyPressEvent(event);
  // With Shift too: the range grows, and the current cell and the highlight move together.
  if (currentIndex().isValid() && currentIndex() != before) Report(currentIndex().row() + 1);
}

bool SampleGrid::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Paint && watched == findChild<QAbstractButton*>()) {
    auto* corner = static_cast<QWidget*>(watched);
    QPainter painter(corner);
    PaintFixedCell(painter, corner->rect(), palette(), QString());
    return true;
  }
  return QTableView::eventFilter(watched, event);
}

void SampleGrid::wheelEvent(QWheelEvent* event) {
  if (!hasFocus() || !currentIndex().isValid()) {
    QTableView::wheelEvent(event);
    return;
  }
  // While focused the wheel moves the current cell one row per notch.
  wheelRemainder_ += event->angleDelta().y();
  const int notches = wheelRemainder_ / 120;
  wheelRemainder_ -= notches * 120;
  for (int i = 0; i < std::abs(notches); ++i) {
    const int row = CurrentRow() + (notches > 0 ? -1 : 1);
    if (row < 1 || row > model_->rowCount()) break;
    SetCurrent(CurrentColumn(), row);
    Report(row);
  }
  event->accept();
}

}  // namespace ternova::app
