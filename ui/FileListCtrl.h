// The file list of the main dialog: a two-column report list ("SFL File",
// "Date") with grid lines and full-row selection, whose header shows the
// sort arrow to the right of the sorted column's text. A click of the left
// mouse button is reported on its own: moving the selection with the
// keyboard is not a click.
#pragma once

#include <QHeaderView>
#include <QPixmap>
#include <QTableWidget>
#include <vector>

#include "catalog/FileList.h"

namespace tarvel {

class CSortHeader : public QHeaderView {
  Q_OBJECT
 public:
  explicit CSortHeader(QWidget* parent = nullptr);

  // Shows arrow image 0 (upward) or 1 (downward) on `column`; -1 for either
  // shows none.
  void SetSortArrow(int column, int image);
  int ArrowColumn() const { return m_nArrowColumn; }
  int ArrowImage() const { return m_nArrowImage; }
  // Where the arrow stands, in the header's coordinates; empty when none.
  QRect ArrowRect() const;

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
  QSize sectionSizeFromContents(int logicalIndex) const override;

 private:
  int TextWidth(int logicalIndex) const;

  int m_nArrowColumn = -1;
  int m_nArrowImage = -1;
  QPixmap m_imgSortArrows[2];
};

class CFileListCtrl : public QTableWidget {
  Q_OBJECT
 public:
  explicit CFileListCtrl(QWidget* parent = nullptr);

  CSortHeader* Header() const { return m_pHeader; }

  // The rows in the order given: base name (decoded for display) and date.
  void ShowRows(const std::vector<CatalogRow>& rows);
  void SetRowToolTip(int row, const std::string& text);
  // Each column as wide as the wider of its contents and its header; the
  // last column also fills what is left of the list's width.
  void FitColumns();

 signals:
  // The left mouse button went up over the rows' area (on a row or not).
  void Clicked();
  // The focused row moved other than by a press of the left button (whose
  // release is a click): the keys, typing a name, the program.
  void FocusedRowMoved();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;

 private:
  void FitRowHeight();

  CSortHeader* m_pHeader = nullptr;
  bool m_bTakingFocus = false;
};

}  // namespace tarvel
