#include "tests/ui/DialogHarness.h"

#include <QImage>

#include "ui/Artwork.h"
#include "ui/ProgStatusBar.h"

namespace tarvel::test {

namespace {
constexpr int kLampPx = 16;
}

QColor LampCentre(const CFirmwareWriterDlg& dialog) {
  CProgStatusBar* bar = dialog.StatusBar();
  const QImage image = bar->grab().toImage();
  const QRect pane = bar->GetItemRect(1);
  const int x = pane.x() + (pane.width() - kLampPx) / 2 + kLampPx / 2;
  const int y = pane.y() + (pane.height() - kLampPx) / 2 + kLampPx / 2;
  return image.pixelColor(x, y);
}

QColor LampCentre(Lamp lamp) { return DrawLamp(lamp).toImage().pixelColor(kLampPx / 2, kLampPx / 2); }

}  // namespace tarvel::test
