// The status bar along the bottom of the main dialog: pane 0 shows the SFL
// folder, or during a flash read a progress bar placed exactly over it;
// pane 1, as wide as its indicator text "ST", shows the access lamp.
#pragma once

#include <QPixmap>
#include <QProgressBar>
#include <QString>
#include <QWidget>

namespace tarvel {

class CProgStatusBar : public QWidget {
  Q_OBJECT
 public:
  explicit CProgStatusBar(QWidget* parent = nullptr);

  // The height of the bar: the height of a window's title bar.
  static int BarHeight(const QWidget* dialog);

  // Pane 0's text, repainted at once.
  void SetPaneText(int pane, const QString& text);
  QString GetPaneText(int pane) const;
  // The icon a pane shows (pane 1: the lamp).
  void SetPaneIcon(int pane, const QPixmap& icon);
  QRect GetItemRect(int pane) const;

  // Shows the progress control for a position above 0 and hides it for 0,
  // emptying pane 0 whenever that changes; the range is g_wEndBlock / 20.
  void SetProgress(unsigned position);
  QProgressBar* GetProgressCtrl() const { return m_pProgress; }

 signals:
  // Pane 1 is owner-drawn: the owner sets its icon before it is painted.
  void DrawItem(int pane);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int IndicatorWidth() const;

  QString m_strPane0;
  QString m_strIndicator;  // pane 1's text: sets its width, never drawn
  QPixmap m_iconPane1;
  QProgressBar* m_pProgress = nullptr;
};

}  // namespace tarvel
