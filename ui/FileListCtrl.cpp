#include "ui/FileListCtrl.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

#include "catalog/DisplayText.h"
#include "ui/Artwork.h"
#include "ui/DialogWidgets.h"

namespace tarvel {

namespace {

constexpr int kRowPaddingPx = 4;  // above and below a row's text, together

}  // namespace

CSortHeader::CSortHeader(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent), m_imgSortArrows{DrawSortArrow(0), DrawSortArrow(1)} {
  setSectionsClickable(true);
  setHighlightSections(false);
  setSortIndicatorShown(false);  // Qt's own indicator points the other way
  setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void CSortHeader::SetSortArrow(int column, int image) {
  const bool shown = column >= 0 && (image == 0 || image == 1);
  m_nArrowColumn = shown ? column : -1;
  m_nArrowImage = shown ? image : -1;
  viewport()->update();
}

int CSortHeader::TextWidth(int logicalIndex) const {
  const QString text = model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
  return fontMetrics().horizontalAdvance(text);
}

QRect CSortHeader::ArrowRect() const {
  if (m_nArrowColumn < 0 || m_nArrowColumn >= count()) return QRect();
  const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
  const int x = sectionViewportPosition(m_nArrowColumn) + margin + TextWidth(m_nArrowColumn) + margin;
  return QRect(x, (height() - kSortArrowPx) / 2, kSortArrowPx, kSortArrowPx);
}

void CSortHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  painter->save();
  QHeaderView::paintSection(painter, rect, logicalIndex);
  painter->restore();
  if (logicalIndex != m_nArrowColumn) return;
  const QRect arrow = ArrowRect();
  // A section too narrow for the arrow shows none, as a cut image would mislead.
  if (arrow.right() > rect.right()) return;
  painter->drawPixmap(arrow.topLeft(), m_imgSortArrows[m_nArrowImage]);
}

QSize CSortHeader::sectionSizeFromContents(int logicalIndex) const {
  QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
  if (logicalIndex == m_nArrowColumn) {
    size.rwidth() += kSortArrowPx + style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
  }
  return size;
}

CFileListCtrl::CFileListCtrl(QWidget* parent) : QTableWidget(parent) {
  m_pHeader = new CSortHeader(this);
  setHorizontalHeader(m_pHeader);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);  // the catalog sorts, by its own comparison
  setShowGrid(true);
  setWordWrap(false);
  setTextElideMode(Qt::ElideNone);
  setTabKeyNavigation(false);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  setColumnCount(2);
  setHorizontalHeaderLabels({QStringLiteral("SFL File"), QStringLiteral("Date")});
  FitRowHeight();
}

void CFileListCtrl::FitRowHeight() {
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + kRowPaddingPx);
}

void CFileListCtrl::focusInEvent(QFocusEvent* event) {
  const bool hadFocusRow = currentIndex().isValid();
  m_bTakingFocus = true;
  QTableWidget::focusInEvent(event);
  m_bTakingFocus = false;
  // Qt gives the first row the keyboard focus when the list gets it; here
  // no row has it until one is clicked or reached with the keys, so that a
  // click beside the rows chooses nothing.
  if (!hadFocusRow && currentIndex().isValid()) {
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  }
}

void CFileListCtrl::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableWidget::currentChanged(current, previous);
  // Qt's own first row on focus is undone in focusInEvent: no move.
  if (m_bTakingFocus || current.row() == previous.row()) return;
  if (!(QApplication::mouseButtons() & Qt::LeftButton)) emit FocusedRowMoved();
}

// Home and End go to the first and the last row, as in a list; a table
// would stay in the row.
QModelIndex CFileListCtrl::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
  if ((cursorAction == MoveHome || cursorAction == MoveEnd) && rowCount() > 0) {
    return model()->index(cursorAction == MoveHome ? 0 : rowCount() - 1, kColumnName);
  }
  return QTableWidget::moveCursor(cursorAction, modifiers);
}

void CFileListCtrl::changeEvent(QEvent* event) {
  QTableWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) FitRowHeight();
}

void CFileListCtrl::ShowRows(const std::vector<CatalogRow>& rows) {
  setUpdatesEnabled(false);
  // Every row goes, and with it the keyboard focus and the selection.
  setRowCount(0);
  setRowCount(static_cast<int>(rows.size()));
  for (int row = 0; row < rowCount(); ++row) {
    const CatalogRow& entry = rows[static_cast<std::size_t>(row)];
    setItem(row, kColumnName, new QTableWidgetItem(ToQString(DecodeForDisplay(entry.baseName))));
    setItem(row, kColumnDate, new QTableWidgetItem(ToQString(entry.dateText)));
  }
  setUpdatesEnabled(true);
}

void CFileListCtrl::SetRowToolTip(int row, const std::string& text) {
  const QString tip = ToQString(text);
  for (const int column : {kColumnName, kColumnDate}) {
    if (QTableWidgetItem* cell = item(row, column)) cell->setToolTip(tip);
  }
}

void CFileListCtrl::FitColumns() {
  resizeColumnToContents(kColumnName);
  resizeColumnToContents(kColumnDate);
  // The last column takes the rest of the width, as a list's last column
  // fitted to its header does. Worked out from the list's own size, which
  // holds before the list is first shown and laid out.
  int width = this->width() - 2 * frameWidth();
  const int rowsHeight = height() - 2 * frameWidth() - horizontalHeader()->sizeHint().height();
  if (verticalHeader()->length() > rowsHeight)
    width -= style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  const int rest = width - columnWidth(kColumnName);
  if (rest > columnWidth(kColumnDate)) setColumnWidth(kColumnDate, rest);
}

void CFileListCtrl::mouseReleaseEvent(QMouseEvent* event) {
  QTableWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) emit Clicked();
}

}  // namespace tarvel
