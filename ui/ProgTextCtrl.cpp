#include "ui/ProgTextCtrl.h"

#include <qdrawutil.h>

#include <QPainter>
#include <QRegion>
#include <algorithm>

#include "dialog/DialogLogic.h"
#include "dialog/Globals.h"

namespace tarvel {

namespace {

// A static edge (1 pixel) around a client edge (2 pixels).
constexpr int kEdgePx = 3;

const QColor kDarkBarColour(250, 0, 0);

}  // namespace

CProgTextCtrl::CProgTextCtrl(QWidget* parent) : QProgressBar(parent) {
  QProgressBar::setRange(m_nLower, m_nUpper);
  QProgressBar::setValue(m_nPos);
  setTextVisible(false);
}

void CProgTextCtrl::SetRange(int lower, int upper) {
  m_nLower = lower;
  m_nUpper = upper;
  m_nPos = std::clamp(m_nPos, std::min(lower, upper), std::max(lower, upper));
  QProgressBar::setRange(std::min(lower, upper), std::max(lower, upper));
  QProgressBar::setValue(m_nPos);
  update();
}

void CProgTextCtrl::GetRange(int& lower, int& upper) const {
  lower = m_nLower;
  upper = m_nUpper;
}

int CProgTextCtrl::SetPos(int position) {
  const int previous = m_nPos;
  m_nPos = std::clamp(position, std::min(m_nLower, m_nUpper), std::max(m_nLower, m_nUpper));
  QProgressBar::setValue(m_nPos);
  update();
  return previous;
}

void CProgTextCtrl::SetWindowText(const QString& text) {
  m_strText = text;
  update();
}

QRect CProgTextCtrl::ClientRect() const { return rect().adjusted(kEdgePx, kEdgePx, -kEdgePx, -kEdgePx); }

void CProgTextCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& colours = palette();
  const QColor barColour = g_bDarkScheme ? kDarkBarColour : colours.color(QPalette::Highlight);
  const QColor textOverBar = colours.color(QPalette::HighlightedText);
  const QColor restColour = colours.color(QPalette::Button);
  const QColor textOverRest = colours.color(QPalette::WindowText);

  // The static edge, then the sunken client edge inside it.
  qDrawShadeRect(&painter, rect(), colours, true, 1);
  qDrawWinPanel(&painter, rect().adjusted(1, 1, -1, -1), colours, true);

  // From here on the client area's own coordinates, as the fill formula
  // counts them: the inner rectangle I is the client area less a pixel.
  const QRect client = ClientRect();
  painter.translate(client.topLeft());
  painter.setClipRect(QRect(QPoint(0, 0), client.size()));
  const QRect whole(QPoint(0, 0), client.size());
  const QRect inner = whole.adjusted(1, 1, -1, -1);
  const int innerRight = whole.width() - 1;  // exclusive right edge of I
  const int filled = FilledWidth(m_nLower, m_nUpper, m_nPos, innerRight);
  const QRect filledPart(1, 1, std::max(filled, 0), inner.height());
  const int textFlags = Qt::AlignCenter | Qt::TextSingleLine;
  painter.setFont(font());

  if (!filledPart.isEmpty()) {
    painter.setClipRect(filledPart);
    painter.fillRect(whole, barColour);
    painter.setPen(textOverBar);
    painter.drawText(inner, textFlags, m_strText);
  }
  painter.setClipRegion(QRegion(whole).xored(QRegion(filledPart)));
  painter.fillRect(whole, restColour);
  painter.setPen(textOverRest);
  painter.drawText(inner, textFlags, m_strText);
}

}  // namespace tarvel
