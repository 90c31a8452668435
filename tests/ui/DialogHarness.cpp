#include "tests/ui/DialogHarness.h"

#include <QImage>
#include <QTest>

#include "ui/Artwork.h"
#include "ui/FileListCtrl.h"
#include "ui/ProgStatusBar.h"

namespace tarvel::test {

namespace {
constexpr int kLampPx = 16;
}

void ClickRow(CFirmwareWriterDlg& dialog, int row) {
  CFileListCtrl* list = dialog.FileList();
  QPoint at;
  if (row < list->rowCount()) {
    list->scrollToItem(list->item(row, 0));
    at = list->visualItemRect(list->item(row, 0)).center();
  } else {
    const int below =
        list->rowCount() == 0 ? 0 : list->visualItemRect(list->item(list->rowCount() - 1, 0)).bottom();
    at = QPoint(4, below + (list->viewport()->height() - below) / 2);
  }
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

std::string BoxTexts(const std::vector<ShownBox>& boxes) {
  std::string texts = "boxes shown:";
  for (const ShownBox& box : boxes) texts += "\n  [" + box.text.toStdString() + "] " + box.detail.toStdString();
  return texts;
}

std::vector<std::string> ListColumn(const CFirmwareWriterDlg& dialog, int column) {
  const CFileListCtrl* list = dialog.FileList();
  std::vector<std::string> texts;
  for (int row = 0; row < list->rowCount(); ++row)
    texts.push_back(list->item(row, column)->text().toStdString());
  return texts;
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
