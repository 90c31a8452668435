// Saves pictures of the windows for a look by eye: the main window normal,
// in service mode ("-q") and dark ("-qk"), a write under way, the catalog
// sorted with a comment shown, the two converter dialogs with their panels,
// a flash read's status-bar progress against the simulated radio, and the
// about box in both modes.
// Usage: ui_shots <folder>   (run with QT_QPA_PLATFORM=offscreen)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QTest>
#include <cstdio>

#include "catalog/FileList.h"
#include "dialog/DialogTemplate.h"
#include "settings/Settings.h"
#include "sim/SimRadio.h"
#include "tests/catalog/CatalogFiles.h"
#include "tests/converters/HexText.h"
#include "tests/support/SflText.h"
#include "tests/support/TempDir.h"
#include "ui/AboutDlg.h"
#include "ui/Artwork.h"
#include "ui/FileDialogs.h"
#include "ui/FileListCtrl.h"
#include "ui/FirmwareWriterDlg.h"
#include "dialog/Globals.h"

namespace {

QString g_folder;

void Save(QWidget& widget, const QString& name) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  widget.show();
  QApplication::processEvents();
  const QString path = QDir(g_folder).filePath(name + QStringLiteral(".png"));
  if (!widget.grab().save(path)) std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
  std::printf("%s %dx%d\n", qPrintable(path), widget.width(), widget.height());
}

// Lets a file dialog's list fill, which Qt does on a thread of its own.
void Settle(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QTest::qWait(20);
}

// The window with its file dialogs answered as a user would, each saved as
// a picture first; a flash read saves one picture half-way.
class ShotDialog : public tarvel::CFirmwareWriterDlg {
 public:
  using CFirmwareWriterDlg::CFirmwareWriterDlg;

  QString prefix;
  std::string hexName;
  std::string dumpName;
  bool progressSaved = false;

  // Block 150 read: one step of the status bar's progress per 20 blocks.
  void SetReadProgress(unsigned position, std::uint16_t endBlock) override {
    CFirmwareWriterDlg::SetReadProgress(position, endBlock);
    if (position == 150 / 20 && !progressSaved) {
      progressSaved = true;
      Save(*this, prefix + QStringLiteral("-dump-progress"));
    }
  }
  void ShowMessageBox(const std::string& text, tarvel::MessageIcon, const std::string&) override {
    QString shown = QString::fromStdString(text).left(60);
    std::printf("message: %s\n", qPrintable(shown.replace(QLatin1Char('\n'), QLatin1Char(' '))));
  }
  void OpenMessageBox(const std::string& text, tarvel::MessageIcon icon, const std::string& detail,
                      std::function<void()> closed) override {
    ShowMessageBox(text, icon, detail);
    if (closed) closed();
  }

 protected:
  int ExecFileDialog(QFileDialog& dialog) override {
    dialog.show();
    Settle(400);
    if (auto* converter = dynamic_cast<tarvel::CFileDlg*>(&dialog)) {
      // A click on the HEX file in the dialog's list, as the user makes it.
      auto* view = converter->findChild<QAbstractItemView*>(QStringLiteral("treeView"));
      auto* model = view ? qobject_cast<QFileSystemModel*>(view->model()) : nullptr;
      if (model) {
        const QModelIndex index = model->index(QString::fromStdString(hexName));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(index).center());
      }
      Settle(200);
      static_cast<QLineEdit*>(converter->GetDlgItem(tarvel::IDC_PRODUCT_NAME))
          ->setText(QStringLiteral("RX-7100"));
      static_cast<QLineEdit*>(converter->GetDlgItem(tarvel::IDC_FIRM_VERSION))
          ->setText(QStringLiteral("2.04"));
      Save(dialog, prefix + QStringLiteral("-sflconv-dialog"));
    } else if (auto* save = dynamic_cast<tarvel::CFileDlg2*>(&dialog)) {
      Save(dialog, prefix + QStringLiteral("-dump-dialog"));
      // Typed into the file name box, which has the focus.
      if (auto* name = save->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        name->setText(QString::fromStdString(dumpName));
      }
      static_cast<QLineEdit*>(save->GetDlgItem(tarvel::IDC_DUMP_END_BLOCK))->setText(QStringLiteral("0FF"));
    }
    static_cast<QDialog&>(dialog).accept();
    return dialog.result();
  }
};

std::string Header(const char* product, const char* version, const char* note) {
  return std::string(";Product: ") + product + "\n;Firmware: " + version + "\n;" + note + "\n;\n";
}

void FillFolder(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  const struct {
    const char* name;
    const char* product;
    const char* version;
    const char* note;
    int day, hour, minute;
  } files[] = {
      {"RX-7100 v2.03.sfl", "RX-7100", "2.03", "Release for EU and UK; needs loader 1.2+", 29, 9, 5},
      {"RX-7100 v2.01.sfl", "RX-7100", "2.01", "Withdrawn", 12, 16, 40},
      {"TX-500_EU.sfl", "TX-500", "1.10", "EU band plan", 29, 10, 30},
      {"Model.A.sfl", "Model A", "0.9", "Engineering sample", 3, 8, 0},
      {"fw.SFL", "Unknown", "?", "Copied from a service laptop", 20, 14, 15},
  };
  for (const auto& file : files) {
    const std::string path = (folder / file.name).string();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    const std::string text = Header(file.product, file.version, file.note) +
                             tarvel::test::SflText("", {{0, tarvel::test::PatternBlock(0)}});
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    tarvel::test::SetWriteTime(path,
                               tarvel::test::ListedLocalTime(2006, 6, file.day, file.hour, file.minute));
  }
  const std::string hex = (folder / "RX-7200.hex").string();
  std::FILE* out = std::fopen(hex.c_str(), "wb");
  const std::string text = tarvel::test::LinearHex({{0, tarvel::test::Bytes(0x2000, 5)}});
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
}

void ClickHeader(tarvel::CFirmwareWriterDlg& dialog, int column) {
  QHeaderView* header = dialog.FileList()->horizontalHeader();
  const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
}

void ClickRow(tarvel::CFirmwareWriterDlg& dialog, int row) {
  tarvel::CFileListCtrl* list = dialog.FileList();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                    list->visualItemRect(list->item(row, 0)).center());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: ui_shots <folder>\n");
    return 2;
  }
  g_folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(g_folder);

  tarvel::test::TempDir dir;
  const std::filesystem::path firmware = dir.path() / "firmware";
  FillFolder(firmware);
  const std::string settingsPath = (dir.path() / "tarvel.ini").string();
  tarvel::Settings(settingsPath).setCommName("/dev/ttyUSB0");
  tarvel::g_strStartDir = firmware.string();
  const tarvel::ConverterSearch converters{{TARVEL_CONVERTERS_DIR}, false};

  auto services = [&](const char* arguments) {
    tarvel::DialogServices s;
    s.settingsPath = settingsPath;
    s.argumentText = arguments;
    s.listPorts = [] { return std::vector<std::string>{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"}; };
    s.converterSearch = converters;
    return s;
  };

  const struct {
    const char* arguments;
    const char* name;
  } modes[] = {{"", "normal"}, {"-q", "service"}, {"-qk", "dark"}};
  for (const auto& mode : modes) {
    const QString name = QString::fromLatin1(mode.name);
    {
      tarvel::CFirmwareWriterDlg dialog(services(mode.arguments));
      Save(dialog, name);

      // Sorted by date, newest first, with a file chosen.
      ClickHeader(dialog, 1);
      ClickHeader(dialog, 1);
      ClickRow(dialog, 0);
      Save(dialog, name + QStringLiteral("-sorted"));

      // The same window in the middle of a write.
      dialog.Dialog().lockForWrite();
      dialog.Context().m_nStatus = 1;
      dialog.Dialog().statusChanged(1);
      dialog.Dialog().setProgressRange(0x3FF);
      dialog.Dialog().setProgress(0x155, "155");
      Save(dialog, name + QStringLiteral("-writing"));
      dialog.Context().m_nStatus = 2;
      Save(dialog, name + QStringLiteral("-syncerror"));
      dialog.Context().m_nStatus = 0;
    }
    if (mode.arguments[0] == '\0') continue;

    // The converter dialog, then a flash read from the simulated radio.
    tarvel::sim::Options options;
    options.linkPath.clear();
    std::string error;
    const auto radio = tarvel::sim::Radio::Start(options, &error);
    if (!radio) {
      std::fprintf(stderr, "no radio: %s\n", error.c_str());
      return 1;
    }
    tarvel::Settings(settingsPath).setCommName(radio->devicePath());
    ShotDialog dialog(services(mode.arguments));
    dialog.prefix = name;
    dialog.hexName = (firmware / "RX-7200.hex").string();
    dialog.dumpName = (firmware / (std::string("dump-") + mode.name + ".sfl")).string();
    dialog.show();
    dialog.OnSflConv();
    dialog.OnDump();
    Save(dialog, name + QStringLiteral("-after-dump"));
    tarvel::Settings(settingsPath).setCommName("/dev/ttyUSB0");
  }

  tarvel::g_bServiceMode = false;
  {
    tarvel::CAboutDlg about(nullptr, converters);
    Save(about, QStringLiteral("about"));
  }
  tarvel::g_bServiceMode = true;
  {
    tarvel::CAboutDlg about(nullptr, converters);
    Save(about, QStringLiteral("about-service"));
  }

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
  painter.drawPixmap(124, 42, tarvel::DrawSortArrow(0));
  painter.drawPixmap(134, 42, tarvel::DrawSortArrow(1));
  painter.end();
  sheet.save(QDir(g_folder).filePath(QStringLiteral("artwork.png")));
  return 0;
}
