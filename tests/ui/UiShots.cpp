// Saves pictures of the main window for a look by eye: normal, service
// ("-q"), dark ("-qk"), a write under way, and the about box.
// Usage: ui_shots <folder>   (run with QT_QPA_PLATFORM=offscreen)
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <cstdio>

#include "app/Settings.h"
#include "tests/support/TempDir.h"
#include "ui/AboutDlg.h"
#include "ui/Artwork.h"
#include "ui/FirmwareWriterDlg.h"
#include "ui/Globals.h"

namespace {

void Save(QWidget& widget, const QString& folder, const QString& name) {
  widget.show();
  QApplication::processEvents();
  const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
  if (!widget.grab().save(path)) std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
  std::printf("%s %dx%d\n", qPrintable(path), widget.width(), widget.height());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: ui_shots <folder>\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);

  tarvel::test::TempDir dir;
  const std::string settingsPath = (dir.path() / "tarvel.ini").string();
  tarvel::Settings(settingsPath).setCommName("/dev/ttyUSB0");
  tarvel::g_strStartDir = "/home/technician/firmware";

  auto services = [&](const char* arguments) {
    tarvel::DialogServices s;
    s.settingsPath = settingsPath;
    s.argumentText = arguments;
    s.listPorts = [] { return std::vector<std::string>{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"}; };
    return s;
  };

  const struct {
    const char* arguments;
    const char* name;
  } modes[] = {{"", "normal"}, {"-q", "service"}, {"-qk", "dark"}};
  for (const auto& mode : modes) {
    tarvel::CFirmwareWriterDlg dialog(services(mode.arguments));
    Save(dialog, folder, QString::fromLatin1(mode.name));

    // The same window in the middle of a write.
    dialog.lockForWrite();
    dialog.Context().m_nStatus = 1;
    dialog.statusChanged(1);
    dialog.setProgressRange(0x3FF);
    dialog.setProgress(0x155, "155");
    Save(dialog, folder, QString::fromLatin1(mode.name) + QStringLiteral("-writing"));
    dialog.Context().m_nStatus = 2;
    Save(dialog, folder, QString::fromLatin1(mode.name) + QStringLiteral("-syncerror"));
    dialog.Context().m_nStatus = 0;
  }

  tarvel::CAboutDlg about;
  Save(about, folder, QStringLiteral("about"));

  // The artwork, six times enlarged, on a grey sheet.
  constexpr int kZoom = 6;
  QImage sheet(kZoom * 160, kZoom * 76, QImage::Format_RGB32);
  sheet.fill(QColor(212, 208, 200));
  QPainter painter(&sheet);
  painter.scale(kZoom, kZoom);
  painter.drawImage(2, 2, tarvel::DrawBanner(false));
  painter.drawImage(2, 22, tarvel::DrawBanner(true));
  painter.drawPixmap(2, 42, tarvel::DrawAppIcon());
  painter.drawPixmap(40, 42, tarvel::DrawLamp(tarvel::Lamp::Idle));
  painter.drawPixmap(58, 42, tarvel::DrawLamp(tarvel::Lamp::Busy));
  painter.drawPixmap(76, 42, tarvel::DrawLamp(tarvel::Lamp::Error));
  painter.drawPixmap(96, 42, tarvel::DrawCableSymbol());
  painter.end();
  sheet.save(QDir(folder).filePath(QStringLiteral("artwork.png")));
  return 0;
}
