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

  // Fills the converter dialog in: `hexName` of the listed folder picked in
  // the list (or only typed, which the list does not report) and the
  // panel's fields typed; `start` stays as the dialog offers it when null.
  void fill(CFileDlg& converter, const std::string& hexName, const char* start, const char* end,
            bool picked = true) {
    offeredFolder = converter.directory().absolutePath().toStdString();
    offeredStart = converter.ItemText(IDC_SFL_START).toStdString();
    const QString path = QString::fromStdString((dir.path() / hexName).string());
    converter.selectFile(path);
    if (picked) emit converter.currentChanged(path);  // what the list's selection reports
    if (start) static_cast<QLineEdit*>(converter.GetDlgItem(IDC_SFL_START))->setText(QString::fromLatin1(start));
    static_cast<QLineEdit*>(converter.GetDlgItem(IDC_SFL_END))->setText(QString::fromLatin1(end));
    static_cast<QLineEdit*>(converter.GetDlgItem(IDC_PRODUCT_NAME))->setText(QStringLiteral("TEST RADIO"));
    static_cast<QLineEdit*>(converter.GetDlgItem(IDC_FIRM_VERSION))->setText(QStringLiteral("2.00"));
  }
  // Answers the converter dialog: fills it in, then confirms or cancels.
  void answer(test::TestDialog& dialog, const std::string& hexName, const char* start, const char* end,
              bool confirm = true) {
    dialog.onFileDialog = [=, this](QFileDialog& shown) {
      auto* converter = dynamic_cast<CFileDlg*>(&shown);
      ASSERT_NE(converter, nullptr);
      fill(*converter, hexName, start, end);
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

// An SFL file of that name is there: the dialog asks before it closes. No
// (also the default) keeps it open with everything typed, and the file as
// it was; Yes replaces it without a second question.
TEST_F(ConverterWindowTest, AnExistingSflFileIsAskedAboutInsideTheDialog) {
  const struct {
    const char* name;
    bool picked;                // the HEX file picked in the list, not typed
    std::vector<bool> answers;  // Convert pressed once for each, and once more when there is none
    bool replaced;
    const char* box;            // the message after the dialog; nullptr: none
  } rows[] = {
      {"No, then Cancel", true, {false}, false, nullptr},
      {"No, then Convert again and Yes", true, {false, true}, true, "Succeeded in the conversion of the file. "},
      // The output name follows only a picked file: nothing to ask about.
      {"a HEX name typed", false, {}, false, "Failed in the conversion of the file. "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) std::filesystem::remove(entry.path());
    dir.write("fw.hex", test::LinearHex({{0x0800, test::Bytes(0x0800, 3)}}));
    const std::string old = ";old\r\n";
    const std::string sfl = dir.write("fw.sfl", old);
    const auto dialog = open("-q");
    dialog->answers = row.answers;
    dialog->onFileDialog = [&](QFileDialog& shown) {
      auto* converter = dynamic_cast<CFileDlg*>(&shown);
      ASSERT_NE(converter, nullptr);
      fill(*converter, "fw.hex", "010", "01f", row.picked);
      do {
        static_cast<QDialog*>(converter)->accept();
        if (converter->result() == QDialog::Accepted) return;
        ASSERT_FALSE(dialog->askedOver.empty());
        EXPECT_EQ(dialog->askedOver.back(), converter);
        for (const auto& [id, text] : {std::pair{IDC_SFL_NAME, "fw.sfl"}, {IDC_SFL_START, "010"},
                                       {IDC_SFL_END, "01f"}, {IDC_PRODUCT_NAME, "TEST RADIO"},
                                       {IDC_FIRM_VERSION, "2.00"}}) {
          EXPECT_EQ(converter->ItemText(id), QString::fromLatin1(text)) << id;
        }
      } while (!dialog->answers.empty());
      converter->reject();
    };
    dialog->OnSflConv();

    EXPECT_EQ(dialog->questions,
              std::vector<std::string>(row.answers.size(), sfl + " already exists.\nDo you want to replace it?"));
    // Asked while the file dialog was open, never over the window after it.
    for (const QWidget* over : dialog->askedOver) EXPECT_NE(over, dialog.get());
    ASSERT_EQ(dialog->boxes.size(), row.box ? 1u : 0u) << test::BoxTexts(dialog->boxes);
    if (row.box) EXPECT_EQ(dialog->boxes[0].text, QString::fromLatin1(row.box));
    std::vector<std::uint8_t> bytes;
    std::string reason;
    if (row.replaced) {
      ASSERT_TRUE(LoadSflFile(sfl, bytes, reason)) << reason;
      EXPECT_EQ(bytes.size(), kSflHeaderBytes + 16 * kSflRecordBytes);
    } else {
      std::ifstream kept(sfl, std::ios::binary);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), old);
    }
    EXPECT_EQ(g_strSflName, row.picked ? "fw.sfl" : "");
  }
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
