// The converters in the window: the start-up probe, "&SFL Conv..." from its
// dialog to the listed result, and the about box's version lines.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <fstream>

#include "dialog/DialogTemplate.h"
#include "formats/SflFile.h"
#include "service/Converters.h"
#include "tests/converters/HexText.h"
#include "tests/ui/DialogHarness.h"
#include "ui/AboutDlg.h"
#include "ui/DialogWidgets.h"
#include "ui/FileDialogs.h"

namespace tarvel {
namespace {

using test::ListColumn;
using Names = std::vector<std::string>;

// A folder holding copies of some of the build's converter libraries.
ConverterSearch Only(const std::filesystem::path& folder, std::initializer_list<const char*> libraries) {
  std::filesystem::create_directories(folder);
  for (const char* name : libraries) {
    std::filesystem::copy_file(std::filesystem::path(TARVEL_CONVERTERS_DIR) / name, folder / name,
                               std::filesystem::copy_options::overwrite_existing);
  }
  return ConverterSearch{{folder.string()}, false};
}

QString Line(const CAboutDlg& about, int id) { return static_cast<QLabel*>(about.GetDlgItem(id))->text(); }

class ConverterWindowTest : public test::DialogTest {
 protected:
  ~ConverterWindowTest() override { g_bServiceMode = false; }

  // Answers the converter dialog: picks `hexName` of the listed folder and
  // types the panel's fields; `start` stays as the dialog offers it when
  // null. Confirms or cancels.
  void answer(test::TestDialog& dialog, const std::string& hexName, const char* start, const char* end,
              bool confirm = true) {
    dialog.onFileDialog = [=, this](QFileDialog& shown) {
      auto* converter = dynamic_cast<CFileDlg*>(&shown);
      ASSERT_NE(converter, nullptr);
      offeredFolder = converter->directory().absolutePath().toStdString();
      offeredStart = converter->ItemText(IDC_SFL_START).toStdString();
      const QString path = QString::fromStdString((dir.path() / hexName).string());
      converter->selectFile(path);
      emit converter->currentChanged(path);  // what the list's selection reports
      if (start)
        static_cast<QLineEdit*>(converter->GetDlgItem(IDC_SFL_START))->setText(QString::fromLatin1(start));
      static_cast<QLineEdit*>(converter->GetDlgItem(IDC_SFL_END))->setText(QString::fromLatin1(end));
      static_cast<QLineEdit*>(converter->GetDlgItem(IDC_PRODUCT_NAME))->setText(QStringLiteral("TEST RADIO"));
      static_cast<QLineEdit*>(converter->GetDlgItem(IDC_FIRM_VERSION))->setText(QStringLiteral("2.00"));
      if (confirm) {
        static_cast<QDialog*>(converter)->accept();
      } else {
        converter->reject();
      }
    };
  }
  std::string stored(const char* key) const {
    return ReadProfileString(settingsPath(), "SFL", key, "<absent>");
  }

  std::string offeredFolder;
  std::string offeredStart;
};

TEST_F(ConverterWindowTest, TheProbeRemovesTheButtonOfEachMissingLibrary) {
  const struct {
    std::initializer_list<const char*> present;
    bool sflConv, dump;
  } rows[] = {{{"libtesmol.so", "liboxbrin.so"}, true, true},
              {{"libtesmol.so"}, true, false},
              {{"liboxbrin.so"}, false, true},
              {{}, false, false}};
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(n);
    converterSearch = Only(dir.path() / ("libs" + std::to_string(n++)), row.present);
    const auto dialog = open("-q");
    EXPECT_EQ(dialog->GetDlgItem(IDC_SFL_CONV) != nullptr, row.sflConv);
    EXPECT_EQ(dialog->GetDlgItem(IDC_DUMP) != nullptr, row.dump);
    EXPECT_NE(dialog->GetDlgItem(IDC_CHECK_5V), nullptr);
  }
}

TEST_F(ConverterWindowTest, ConvertsTheChosenHexFileStoresTheBlocksAndListsTheResult) {
  // Blocks 0x10 ... 0x1F of the image.
  dir.write("fw.hex", test::LinearHex({{0x0800, test::Bytes(0x0800, 3)}}));
  const auto dialog = open("-q");
  dialog->show();
  ASSERT_TRUE(ListColumn(*dialog, 0).empty());
  answer(*dialog, "fw.hex", "010", "01f");
  bool cursorRestored = false;
  dialog->onBox = [&](const test::ShownBox&) { cursorRestored = QApplication::overrideCursor() == nullptr; };
  dialog->Item<QPushButton>(IDC_SFL_CONV)->click();

  EXPECT_EQ(offeredFolder, dir.path().string());
  EXPECT_EQ(offeredStart, "000");
  ASSERT_EQ(dialog->boxes.size(), 1u) << test::BoxTexts(dialog->boxes);
  EXPECT_EQ(dialog->boxes[0].text, QStringLiteral("Succeeded in the conversion of the file. "));
  EXPECT_EQ(dialog->boxes[0].icon, MessageIcon::Information);
  EXPECT_TRUE(cursorRestored);
  // Stored as typed, lower case and all.
  EXPECT_EQ(stored("Start"), "010");
  EXPECT_EQ(stored("End"), "01f");

  // The output name followed the chosen file; the catalog lists the result.
  EXPECT_EQ(ListColumn(*dialog, 0), Names{"fw"});
  std::vector<std::uint8_t> bytes;
  std::string reason;
  ASSERT_TRUE(LoadSflFile((dir.path() / "fw.sfl").string(), bytes, reason)) << reason;
  EXPECT_EQ(bytes.size(), kSflHeaderBytes + 16 * kSflRecordBytes);
  SflTextReader reader(bytes);
  SflRecord record;
  ASSERT_EQ(ParseSflRecord(reader, record), SflParse::Record);
  EXPECT_EQ(record.block, 0x10);

  // The next opening starts from what was stored.
  answer(*dialog, "fw.hex", nullptr, "01f", false);
  dialog->OnSflConv();
  EXPECT_EQ(offeredStart, "010");
}

// An SFL file of that name is there: No (also the default) leaves it as it
// was, Yes replaces it.
TEST_F(ConverterWindowTest, AnExistingSflFileIsReplacedOnlyAfterYes) {
  dir.write("fw.hex", test::LinearHex({{0x0800, test::Bytes(0x0800, 3)}}));
  const std::string old = ";old\r\n";
  const std::string sfl = dir.write("fw.sfl", old);
  const auto dialog = open("-q");
  answer(*dialog, "fw.hex", "010", "01f");
  dialog->OnSflConv();
  ASSERT_EQ(dialog->questions.size(), 1u);
  EXPECT_EQ(dialog->questions[0], sfl + " already exists.\nDo you want to replace it?");
  EXPECT_TRUE(dialog->boxes.empty()) << test::BoxTexts(dialog->boxes);
  std::ifstream kept(sfl, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), old);
  std::vector<std::uint8_t> bytes;
  std::string reason;

  dialog->answers = {true};
  dialog->OnSflConv();
  ASSERT_EQ(dialog->boxes.size(), 1u) << test::BoxTexts(dialog->boxes);
  ASSERT_TRUE(LoadSflFile(sfl, bytes, reason)) << reason;
  EXPECT_EQ(bytes.size(), kSflHeaderBytes + 16 * kSflRecordBytes);
}

TEST_F(ConverterWindowTest, ACancelledDialogStoresAndConvertsNothing) {
  dir.write("fw.hex", test::LinearHex({{0, test::Bytes(128, 1)}}));
  const auto dialog = open("-q");
  answer(*dialog, "fw.hex", "020", "3FF", false);
  dialog->OnSflConv();
  EXPECT_EQ(dialog->fileDialogs, 1);
  EXPECT_TRUE(dialog->boxes.empty());
  EXPECT_EQ(stored("Start"), "<absent>");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "fw.sfl"));
  // The dialog left its texts behind all the same.
  EXPECT_EQ(g_strStartBlock, "020");
}

TEST_F(ConverterWindowTest, AFailedConversionStoresTheBlocksButDoesNotReload) {
  std::string bad = test::LinearHex({{0, test::Bytes(128, 1)}});
  bad[10] = bad[10] == '0' ? '1' : '0';  // the first record's checksum no longer fits
  dir.write("bad.hex", bad);
  const auto dialog = open("-q");
  dir.write("late.sfl", "");  // listed only by a reload
  answer(*dialog, "bad.hex", "000", "000");
  dialog->OnSflConv();
  ASSERT_EQ(dialog->boxes.size(), 1u) << test::BoxTexts(dialog->boxes);
  EXPECT_EQ(dialog->boxes[0].text, QStringLiteral("Failed in the conversion of the file. "));
  EXPECT_EQ(dialog->boxes[0].icon, MessageIcon::Stop);
  EXPECT_EQ(stored("Start"), "000");
  EXPECT_EQ(stored("End"), "000");
  EXPECT_TRUE(ListColumn(*dialog, 0).empty());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "bad.sfl"));
}

TEST_F(ConverterWindowTest, ALibraryGoneSinceStartUpFailsTheConversion) {
  converterSearch = Only(dir.path() / "libs", {"libtesmol.so", "liboxbrin.so"});
  dir.write("fw.hex", test::LinearHex({{0, test::Bytes(128, 1)}}));
  const auto dialog = open("-q");
  ASSERT_NE(dialog->GetDlgItem(IDC_SFL_CONV), nullptr);
  std::filesystem::remove(dir.path() / "libs" / "libtesmol.so");
  answer(*dialog, "fw.hex", "000", "000");
  dialog->OnSflConv();
  ASSERT_EQ(dialog->boxes.size(), 1u) << test::BoxTexts(dialog->boxes);
  EXPECT_EQ(dialog->boxes[0].text, QStringLiteral("Failed in the conversion of the file. "));
  EXPECT_FALSE(dialog->boxes[0].detail.isEmpty());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "fw.sfl"));
}

TEST_F(ConverterWindowTest, TheAboutBoxShowsTheConvertersVersionsOnlyInServiceMode) {
  const ConverterSearch both = Only(dir.path() / "both", {"libtesmol.so", "liboxbrin.so"});
  const ConverterVersionTexts versions = ConverterVersions(both);
  ASSERT_TRUE(versions.hexToSfl && versions.flashImage);
  ASSERT_FALSE(versions.hexToSfl->empty());

  g_bServiceMode = false;
  {
    const CAboutDlg about(nullptr, both);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Tarvel"));
    EXPECT_EQ(Line(about, IDC_VERSION), QStringLiteral("Tarvel 1.10"));
    EXPECT_TRUE(Line(about, IDC_ABOUT_CONVERTER).isEmpty());
    EXPECT_EQ(Line(about, IDC_ABOUT_LOADER), QStringLiteral("Flash Loader Version"));
    const DialogBaseUnits units = BaseUnitsOf(about.font());
    EXPECT_EQ(about.size(), QSize(DluToPixelsX(kAboutWidthDlu, units), DluToPixelsY(kAboutHeightDlu, units)));
  }

  g_bServiceMode = true;
  {
    const CAboutDlg about(nullptr, both);
    EXPECT_EQ(Line(about, IDC_VERSION), QStringLiteral("Tarvel 1.10"));
    EXPECT_EQ(Line(about, IDC_ABOUT_CONVERTER).toStdString(), "Tesmol.dll : " + *versions.hexToSfl);
    EXPECT_EQ(Line(about, IDC_ABOUT_LOADER).toStdString(), "Oxbrin.dll : " + *versions.flashImage);
  }
  // Read afresh at each opening: a library gone leaves its line as it was.
  std::filesystem::remove(dir.path() / "both" / "libtesmol.so");
  {
    const CAboutDlg about(nullptr, both);
    EXPECT_TRUE(Line(about, IDC_ABOUT_CONVERTER).isEmpty());
    EXPECT_EQ(Line(about, IDC_ABOUT_LOADER).toStdString(), "Oxbrin.dll : " + *versions.flashImage);
  }
  std::filesystem::remove(dir.path() / "both" / "liboxbrin.so");
  {
    const CAboutDlg about(nullptr, both);
    EXPECT_TRUE(Line(about, IDC_ABOUT_CONVERTER).isEmpty());
    EXPECT_EQ(Line(about, IDC_ABOUT_LOADER), QStringLiteral("Flash Loader Version"));
  }
}

}  // namespace
}  // namespace tarvel
