// The write progress bar (control 1003): a progress bar that paints its text
// centred over itself, in the highlight-text colour over the filled part and
// in the window-text colour over the rest.
#pragma once

#include <QProgressBar>
#include <QString>

namespace tarvel {

class CProgTextCtrl : public QProgressBar {
  Q_OBJECT
 public:
  explicit CProgTextCtrl(QWidget* parent = nullptr);

  // The range and position of a system progress bar: 0 ... 100 at first,
  // positions outside the range are clamped to it.
  void SetRange(int lower, int upper);
  void GetRange(int& lower, int& upper) const;
  int SetPos(int position);  // returns the previous position
  int GetPos() const { return m_nPos; }

  // The text painted over the bar; each change repaints the whole control.
  void SetWindowText(const QString& text);
  QString GetWindowText() const { return m_strText; }

  // The client rectangle: inside the static and client edges.
  QRect ClientRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int m_nLower = 0;
  int m_nUpper = 100;
  int m_nPos = 0;
  QString m_strText;
};

}  // namespace tarvel
