#include "ui/Artwork.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QRadialGradient>

#include "ui/DialogWidgets.h"

namespace tarvel {

QImage DrawBanner(bool dark) {
  QImage banner(kBannerWidthPx, kBannerHeightPx, QImage::Format_RGB32);
  banner.fill(dark ? Qt::black : Qt::white);
  QPainter painter(&banner);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QColor red = ToQColor(kBannerRed);

  QFont font("Arial");
  font.setPixelSize(15);
  font.setBold(true);
  font.setItalic(true);
  font.setLetterSpacing(QFont::AbsoluteSpacing, 3);
  painter.setFont(font);
  painter.setPen(red);
  const QRect text(0, 0, kBannerWidthPx, kBannerHeightPx - 1);
  painter.drawText(text, Qt::AlignCenter, QStringLiteral("TARVEL"));

  // A rule either side of the name.
  const int textWidth = painter.fontMetrics().horizontalAdvance(QStringLiteral("TARVEL"));
  for (const PixelRect& rule : {BannerRulesFor(textWidth).left, BannerRulesFor(textWidth).right})
    painter.fillRect(QRect(rule.x, rule.y, rule.width, rule.height), red);
  return banner;
}

QPixmap DrawAppIcon() {
  QImage icon(32, 32, QImage::Format_ARGB32);
  icon.fill(Qt::transparent);
  QPainter painter(&icon);  // no antialiasing: 16 colours, hard edges

  // A hand-held radio: antenna, body, display and keys.
  painter.fillRect(QRect(18, 1, 2, 9), ToQColor(kBlack));
  painter.setPen(ToQColor(kBlack));
  painter.setBrush(ToQColor(kGray));
  painter.drawRect(QRect(10, 9, 13, 21));
  painter.setBrush(ToQColor(kTeal));
  painter.drawRect(QRect(12, 11, 9, 6));
  painter.fillRect(QRect(14, 13, 4, 2), ToQColor(kAqua));
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      painter.fillRect(QRect(12 + 3 * column, 19 + 3 * row, 2, 2), ToQColor(kSilver));
    }
  }
  painter.fillRect(QRect(11, 10, 1, 19), ToQColor(kWhite));

  // The firmware going in: a red arrow pointing down, outlined in maroon.
  const QPolygon arrow({QPoint(3, 4), QPoint(6, 4), QPoint(6, 14), QPoint(9, 14), QPoint(4, 21),
                        QPoint(0, 14), QPoint(3, 14)});
  painter.setPen(ToQColor(kMaroon));
  painter.setBrush(ToQColor(kRed));
  painter.drawPolygon(arrow);
  return QPixmap::fromImage(icon);
}

QPixmap DrawLamp(Lamp lamp) {
  QImage image(16, 16, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor base = ToQColor(LampColour(lamp));
  QRadialGradient glow(QPointF(6.5, 6.0), 7.5);
  glow.setColorAt(0.0, base.lighter(170));
  glow.setColorAt(0.45, base);
  glow.setColorAt(1.0, base.darker(140));
  painter.setPen(QPen(base.darker(220), 1.0));
  painter.setBrush(glow);
  painter.drawEllipse(QPointF(8.0, 8.0), 6.5, 6.5);
  return QPixmap::fromImage(image);
}

QPixmap DrawCableSymbol() {
  QImage image(26, 11, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  const QColor black = ToQColor(kBlack);

  // The serial plug: a trapezoid shell with two rows of pins.
  const QPolygon shell({QPoint(0, 1), QPoint(8, 1), QPoint(8, 9), QPoint(0, 9)});
  painter.setPen(black);
  painter.setBrush(ToQColor(kSilver));
  painter.drawPolygon(shell);
  for (int pin = 0; pin < 3; ++pin) {
    painter.fillRect(QRect(2 + 2 * pin, 3, 1, 1), black);
    painter.fillRect(QRect(2 + 2 * pin, 6, 1, 1), black);
  }
  // The cable with its converter box, and the radio's jack.
  painter.fillRect(QRect(9, 4, 4, 2), black);
  painter.setBrush(ToQColor(kGray));
  painter.drawRect(QRect(13, 2, 6, 6));
  painter.fillRect(QRect(20, 4, 3, 2), black);
  painter.fillRect(QRect(23, 3, 3, 4), ToQColor(kMaroon));
  return QPixmap::fromImage(image);
}

QPixmap DrawSortArrow(int image) {
  // Rows top to bottom; '#' black, '.' transparent.
  static constexpr const char* kUp[kSortArrowPx] = {"........", "........", "...##...", "..####..",
                                                    ".######.", "########", "........", "........"};
  static constexpr const char* kDown[kSortArrowPx] = {"........", "........", "########", ".######.",
                                                      "..####..", "...##...", "........", "........"};
  if (image != 0 && image != 1) return QPixmap();
  const char* const* rows = image == 0 ? kUp : kDown;
  QImage arrow(kSortArrowPx, kSortArrowPx, QImage::Format_ARGB32);
  arrow.fill(Qt::transparent);
  for (int y = 0; y < kSortArrowPx; ++y) {
    for (int x = 0; x < kSortArrowPx; ++x) {
      if (rows[y][x] == '#') arrow.setPixel(x, y, ToQColor(kBlack).rgb());
    }
  }
  return QPixmap::fromImage(arrow);
}

}  // namespace tarvel
