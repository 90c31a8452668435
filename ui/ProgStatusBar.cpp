#include "ui/ProgStatusBar.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <algorithm>

#include "base/Strings.h"
#include "dialog/DialogLogic.h"
#include "ui/DialogWidgets.h"
#include "dialog/Globals.h"

namespace tarvel {

namespace {

constexpr int kTopBorderPx = 2;
constexpr int kPaneMarginPx = 3;  // each side of the indicator text
constexpr int kTextIndentPx = 4;
constexpr int kInitialUpper = 255;  // the progress control's range until a read sets it

}  // namespace

CProgStatusBar::CProgStatusBar(QWidget* parent)
    : QWidget(parent), m_strIndicator(FromStringTable(StringId::StatusIndicator)) {
  setFont(QApplication::font());  // the bar's own font, not the dialog's
  m_pProgress = new QProgressBar(this);
  m_pProgress->setTextVisible(false);
  m_pProgress->setRange(0, kInitialUpper);
  m_pProgress->hide();
}

int CProgStatusBar::BarHeight(const QWidget* dialog) {
  return dialog->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, dialog);
}

void CProgStatusBar::SetPaneText(int pane, const QString& text) {
  if (pane != 0) return;
  m_strPane0 = text;
  repaint(GetItemRect(0));
}

QString CProgStatusBar::GetPaneText(int pane) const { return pane == 0 ? m_strPane0 : m_strIndicator; }

void CProgStatusBar::SetPaneIcon(int pane, const QPixmap& icon) {
  if (pane == 1) m_iconPane1 = icon;
}

int CProgStatusBar::IndicatorWidth() const {
  return fontMetrics().horizontalAdvance(m_strIndicator) + 2 * kPaneMarginPx;
}

QRect CProgStatusBar::GetItemRect(int pane) const {
  const int indicator = IndicatorWidth();
  const int paneHeight = std::max(height() - kTopBorderPx, 0);
  if (pane == 0) return QRect(0, kTopBorderPx, std::max(width() - indicator, 0), paneHeight);
  return QRect(width() - indicator, kTopBorderPx, indicator, paneHeight);
}

void CProgStatusBar::SetProgress(unsigned position) {
  const bool show = position > 0;
  if (m_pProgress->isHidden() == show) {
    m_strPane0.clear();
    m_pProgress->setVisible(show);
  }
  const int upper = StatusProgressUpper(g_wEndBlock);
  // Qt shows a busy animation for an empty range; the bar stays empty instead.
  m_pProgress->setRange(0, std::max(upper, 1));
  m_pProgress->setValue(upper == 0 ? 0 : std::min(static_cast<int>(std::min(position, 65535u)), upper));
}

void CProgStatusBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& colours = palette();
  painter.fillRect(rect(), colours.color(QPalette::Window));
  painter.setPen(colours.color(QPalette::Dark));
  painter.drawLine(0, 0, width() - 1, 0);
  painter.setPen(colours.color(QPalette::Light));
  painter.drawLine(0, 1, width() - 1, 1);

  const QRect pane0 = GetItemRect(0);
  painter.save();
  painter.setClipRect(pane0);
  painter.setPen(colours.color(QPalette::WindowText));
  painter.drawText(pane0.adjusted(kTextIndentPx, 0, 0, 0),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_strPane0);
  painter.restore();

  emit DrawItem(1);
  if (!m_iconPane1.isNull()) {
    const QRect pane1 = GetItemRect(1);
    const QSize icon = m_iconPane1.deviceIndependentSize().toSize();
    painter.drawPixmap(pane1.x() + (pane1.width() - icon.width()) / 2,
                       pane1.y() + (pane1.height() - icon.height()) / 2, m_iconPane1);
  }
}

void CProgStatusBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  m_pProgress->setGeometry(GetItemRect(0));
}

}  // namespace tarvel
