// tarvel-draw-icon OUTDIR SIZE...: paints the application icon, a handheld
// radio with a firmware arrow on its display, at each SIZE into
// OUTDIR/<SIZE>x<SIZE>/apps/tarvel.png (the hicolor theme's layout).
//
// The drawing is made on a 256-unit square and scaled. Below 32 pixels the
// speaker grille would blur into a grey patch, so the small sizes leave it
// out and draw the arrow and the antenna thicker.
#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QString>

#include <cstdio>

namespace {

void PaintRadio(QPainter& painter, int sizePx) {
  const bool small = sizePx < 32;
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(sizePx / 256.0, sizePx / 256.0);
  painter.setPen(Qt::NoPen);

  // Antenna, left of the top edge, with a round tip.
  const qreal antennaWidth = small ? 30 : 22;
  painter.setBrush(QColor(0x37, 0x47, 0x4F));
  painter.drawRoundedRect(QRectF(56, 14, antennaWidth, 70), antennaWidth / 2, antennaWidth / 2);

  // Body.
  QLinearGradient bodyShade(0, 60, 0, 246);
  bodyShade.setColorAt(0, QColor(0x54, 0x6E, 0x7A));
  bodyShade.setColorAt(1, QColor(0x26, 0x32, 0x38));
  painter.setBrush(bodyShade);
  painter.drawRoundedRect(QRectF(36, 60, 184, 186), 30, 30);

  // Display.
  const QRectF display = small ? QRectF(54, 80, 148, 100) : QRectF(58, 82, 140, 78);
  painter.setBrush(QColor(0xB2, 0xEB, 0xF2));
  painter.drawRoundedRect(display, 12, 12);

  // The firmware going in: a downward arrow onto a bar, in amber.
  const QColor amber(0xFF, 0x8F, 0x00);
  const qreal centreX = display.center().x();
  const qreal shaftHalf = small ? 16 : 10;
  const qreal headHalf = small ? 42 : 30;
  const qreal top = display.top() + (small ? 10 : 8);
  const qreal bar = display.bottom() - (small ? 18 : 14);
  const qreal headTop = bar - (small ? 44 : 30);
  QPainterPath arrow;
  arrow.addPolygon(QPolygonF({QPointF(centreX - shaftHalf, top), QPointF(centreX + shaftHalf, top),
                              QPointF(centreX + shaftHalf, headTop), QPointF(centreX + headHalf, headTop),
                              QPointF(centreX, bar - 2), QPointF(centreX - headHalf, headTop),
                              QPointF(centreX - shaftHalf, headTop)}));
  arrow.closeSubpath();
  painter.setBrush(amber);
  painter.drawPath(arrow);
  painter.drawRect(QRectF(display.left() + 18, bar, display.width() - 36, small ? 10 : 7));

  if (!small) {
    // Speaker grille: three slots under the display.
    QPen slot(QColor(0x90, 0xA4, 0xAE), 9, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(slot);
    for (int row = 0; row < 3; ++row) {
      const qreal y = 184 + row * 20;
      painter.drawLine(QPointF(76, y), QPointF(180, y));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: tarvel-draw-icon OUTDIR SIZE...\n");
    return 2;
  }
  const QString outDir = QString::fromLocal8Bit(argv[1]);
  for (int i = 2; i < argc; ++i) {
    bool number = false;
    const int sizePx = QByteArray(argv[i]).toInt(&number);
    if (!number || sizePx < 16 || sizePx > 1024) {
      std::fprintf(stderr, "tarvel-draw-icon: size %s is outside 16..1024\n", argv[i]);
      return 2;
    }
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(sizePx);
    if (!QDir().mkpath(folder)) {
      std::fprintf(stderr, "tarvel-draw-icon: cannot create %s\n", qPrintable(folder));
      return 1;
    }
    QImage image(sizePx, sizePx, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter painter(&image);
      PaintRadio(painter, sizePx);
    }
    const QString file = folder + QStringLiteral("/tarvel.png");
    if (!image.save(file, "PNG")) {
      std::fprintf(stderr, "tarvel-draw-icon: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
