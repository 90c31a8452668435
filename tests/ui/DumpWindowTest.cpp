// "&Dump..." in the window, end to end: the save dialog answered, the real
// POSIX port on the simulated radio's terminal, the window locked as a read
// locks it, the status bar's progress over pane 0, the new file listed.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <array>

#include "base/Report.h"
#include "dialog/DialogTemplate.h"
#include "formats/SflFile.h"
#include "sim/SimRadio.h"
#include "tests/support/SflText.h"
#include "tests/ui/DialogHarness.h"
#include "tests/ui/SimDialogTest.h"
#include "ui/FileDialogs.h"
#include "ui/FileListCtrl.h"
#include "ui/ProgStatusBar.h"

namespace tarvel {
namespace {

using test::LampCentre;
using test::ListColumn;
using Names = std::vector<std::string>;

// Controls a read disables, and those it leaves for the user.
constexpr std::array<int, 12> kLockedByRead{IDC_FILE_LIST, IDC_DUMP,     IDC_BROWSE,   IDC_WRITE,
                                            IDC_SFL_CONV,  IDC_PORT,     IDC_BAUD,     IDC_TYPE0,
                                            IDC_TYPE1,     IDC_CHECK_5V, IDC_CHECK_MD, IDC_RELOAD};
constexpr std::array<int, 1> kLeftByRead{IDC_CLOSE};

struct ReadLook {
  std::vector<int> enabledButLocked;
  std::vector<int> disabledButLeft;
  bool switchesChecked = true;
  bool closeEnabled = true;
  int status = -1;
  QColor lamp;
  bool progressShown = false;
  QString pane0;
};

class DumpWindowTest : public test::SimDialogTest {
 protected:
  // Answers the save dialog with `name` in the listed folder and the End
  // Block text `endBlock`.
  void answer(test::TestDialog& dialog, const std::string& name, const QString& endBlock) {
    dialog.onFileDialog = [=, this](QFileDialog& shown) {
      auto* save = dynamic_cast<CFileDlg2*>(&shown);
      ASSERT_NE(save, nullptr);
      EXPECT_EQ(save->directory().absolutePath().toStdString(), dir.path().string());
      EXPECT_EQ(save->ItemText(IDC_DUMP_END_BLOCK), QStringLiteral("3FF"));
      static_cast<QLineEdit*>(save->GetDlgItem(IDC_DUMP_END_BLOCK))->setText(endBlock);
      save->selectFile(QString::fromStdString((dir.path() / name).string()));
      static_cast<QDialog*>(save)->accept();
    };
  }
  static ReadLook Look(test::TestDialog& dialog) {
    ReadLook look;
    for (int id : kLockedByRead) {
      if (dialog.GetDlgItem(id)->isEnabled()) look.enabledButLocked.push_back(id);
    }
    for (int id : kLeftByRead) {
      if (!dialog.GetDlgItem(id)->isEnabled()) look.disabledButLeft.push_back(id);
    }
    look.switchesChecked = dialog.Item<QCheckBox>(IDC_CHECK_5V)->isChecked() ||
                           dialog.Item<QCheckBox>(IDC_CHECK_MD)->isChecked();
    look.closeEnabled = dialog.CloseEnabled();
    look.status = dialog.Context().m_nStatus;
    look.lamp = LampCentre(dialog);
    look.progressShown = dialog.StatusBar()->GetProgressCtrl()->isVisible();
    look.pane0 = dialog.StatusBar()->GetPaneText(0);
    return look;
  }
  // The idle window after a read: WRITE disabled, the list focused.
  void expectUnlocked(test::TestDialog& dialog) {
    for (int id : {IDC_FILE_LIST, IDC_DUMP, IDC_BROWSE, IDC_SFL_CONV, IDC_PORT, IDC_BAUD, IDC_TYPE0,
                   IDC_TYPE1, IDC_RELOAD, IDC_CLOSE}) {
      EXPECT_TRUE(dialog.GetDlgItem(id)->isEnabled()) << id;
    }
    const bool qap8 = GetParam() == sim::Cable::Qap8;
    EXPECT_EQ(dialog.GetDlgItem(IDC_CHECK_5V)->isEnabled(), qap8);
    EXPECT_EQ(dialog.GetDlgItem(IDC_CHECK_MD)->isEnabled(), qap8);
    EXPECT_FALSE(dialog.Item<QCheckBox>(IDC_CHECK_5V)->isChecked());
    EXPECT_FALSE(dialog.GetDlgItem(IDC_WRITE)->isEnabled());
    EXPECT_EQ(dialog.focusWidget(), dialog.GetDlgItem(IDC_FILE_LIST));
    EXPECT_TRUE(dialog.CloseEnabled());
    EXPECT_EQ(dialog.Context().m_nStatus, 0);
    EXPECT_EQ(LampCentre(dialog), LampCentre(Lamp::Idle));
    EXPECT_FALSE(dialog.StatusBar()->GetProgressCtrl()->isVisible());
    EXPECT_EQ(dialog.StatusBar()->GetPaneText(0).toStdString(), dir.path().string());
  }
};

TEST_P(DumpWindowTest, ReadsTheFlashIntoANewFileThatTheListShows) {
  const auto radio = startRadio();
  ASSERT_TRUE(radio);
  storePort(radio->linkPath());
  constexpr int kBlocks = 0x40;
  unsigned sum = 0;
  for (int block = 0; block < kBlocks; ++block) {
    const auto data = test::PatternBlock(static_cast<std::uint16_t>(block), 7);
    radio->setBlock(static_cast<std::size_t>(block), data);
    for (std::uint8_t byte : data) sum += byte;
  }
  dir.write("fw.sfl", test::ConventionalSfl(0, 1));
  const auto dialog = open("-q");
  dialog->show();
  test::ClickRow(*dialog, 0);
  ASSERT_TRUE(dialog->GetDlgItem(IDC_WRITE)->isEnabled());
  if (GetParam() == sim::Cable::Qap8) dialog->Item<QCheckBox>(IDC_CHECK_5V)->setChecked(true);

  answer(*dialog, "dump.sfl", QStringLiteral("03F"));
  std::vector<ReadLook> looks;
  int highestProgress = -1;
  dialog->onProgress = [&] {
    highestProgress = std::max(highestProgress, dialog->StatusBar()->GetProgressCtrl()->value());
    if (!looks.empty()) return;
    looks.push_back(Look(*dialog));
    dialog->Item<QPushButton>(IDC_CLOSE)->click();
    EXPECT_FALSE(dialog->close());
  };
  dialog->Item<QPushButton>(IDC_DUMP)->click();

  ASSERT_EQ(looks.size(), 1u) << "the read showed no progress";
  const ReadLook& busy = looks[0];
  EXPECT_TRUE(busy.enabledButLocked.empty()) << busy.enabledButLocked.front();
  EXPECT_TRUE(busy.disabledButLeft.empty()) << busy.disabledButLeft.front();
  EXPECT_FALSE(busy.switchesChecked);
  EXPECT_FALSE(busy.closeEnabled);
  EXPECT_EQ(busy.status, 1);
  EXPECT_EQ(busy.lamp, LampCentre(Lamp::Busy));
  EXPECT_TRUE(busy.progressShown);
  EXPECT_TRUE(busy.pane0.isEmpty());
  // One step every 20 blocks: 64 blocks end at 3 of 0 ... 3.
  EXPECT_EQ(dialog->StatusBar()->GetProgressCtrl()->maximum(), kBlocks / 20);
  EXPECT_EQ(highestProgress, kBlocks / 20);
  EXPECT_EQ(g_wEndBlock, kBlocks - 1);

  ASSERT_EQ(dialog->boxes.size(), 2u) << test::BoxTexts(dialog->boxes);
  EXPECT_EQ(dialog->boxes[0].text, QStringLiteral("Can't close while accessing the flash."));
  EXPECT_EQ(dialog->boxes[1].icon, MessageIcon::Information);
  const std::string report = dialog->boxes[1].text.toStdString();
  EXPECT_TRUE(report.starts_with("Succeeded in reading the flash. \n\n")) << report;
  EXPECT_TRUE(report.ends_with("\n\nCheck SUM is " + FormatHex4(static_cast<std::uint16_t>(sum)))) << report;
  EXPECT_EQ(radio->stats().readRequests, kBlocks);

  // The file holds every block as the radio has it, and the list shows it.
  std::vector<std::uint8_t> bytes;
  std::string reason;
  ASSERT_TRUE(LoadSflFile((dir.path() / "dump.sfl").string(), bytes, reason)) << reason;
  EXPECT_EQ(bytes.size(), kSflHeaderBytes + kBlocks * kSflRecordBytes);
  SflTextReader reader(bytes);
  SflRecord record;
  int records = 0;
  while (ParseSflRecord(reader, record) == SflParse::Record) {
    EXPECT_EQ(record.block, records);
    EXPECT_EQ(record.data, radio->block(record.block)) << record.block;
    ++records;
  }
  EXPECT_EQ(records, kBlocks);
  const Names listed = ListColumn(*dialog, 0);
  EXPECT_NE(std::find(listed.begin(), listed.end(), "dump"), listed.end());
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Tarvel"));
  expectUnlocked(*dialog);
}

TEST_P(DumpWindowTest, ASilentRadioFailsAndLeavesTheWindowUnlockedWithWriteDisabled) {
  sim::Faults faults;
  faults.silent = true;
  const auto radio = startRadio(faults);
  ASSERT_TRUE(radio);
  storePort(radio->devicePath());
  dir.write("fw.sfl", test::ConventionalSfl(0, 1));
  const auto dialog = open("-q");
  dialog->show();
  test::ClickRow(*dialog, 0);
  const std::string chosen = dialog->Dialog().FilePath();

  answer(*dialog, "dump.sfl", QStringLiteral("3FF"));
  std::vector<QColor> lamps;
  dialog->onBox = [&](const test::ShownBox&) { lamps.push_back(LampCentre(*dialog)); };
  dialog->OnDump();

  // QAP-10 adds "Failed in reading the flash. " after the synchronisation
  // error; QAP-8 shows the error alone.
  const bool qap10 = GetParam() == sim::Cable::Qap10;
  ASSERT_EQ(dialog->boxes.size(), qap10 ? 2u : 1u) << test::BoxTexts(dialog->boxes);
  EXPECT_TRUE(dialog->boxes[0].text.startsWith(QStringLiteral("Synchronization Error.\r")));
  EXPECT_EQ(lamps[0], LampCentre(Lamp::Error));
  if (qap10) {
    EXPECT_EQ(dialog->boxes[1].text, QStringLiteral("Failed in reading the flash. "));
    EXPECT_EQ(dialog->boxes[1].icon, MessageIcon::Stop);
  }
  // No reload: the title and the choice stay, but WRITE waits for a click.
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("fw - Tarvel"));
  EXPECT_EQ(dialog->Dialog().FilePath(), chosen);
  EXPECT_EQ(ListColumn(*dialog, 0), Names{"fw"});
  // Nothing was read: no file is left behind, not even an empty one.
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "dump.sfl"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "dump.partial.sfl"));
  expectUnlocked(*dialog);
}

TEST_P(DumpWindowTest, AShortEndBlockTextAndAnEmptyRangeStillRead) {
  const auto radio = startRadio();
  ASSERT_TRUE(radio);
  storePort(radio->linkPath());
  const auto dialog = open("-q");
  dialog->show();
  // "14" is 0x014: 21 blocks. "0" is block 0 alone.
  const struct {
    const char* endBlock;
    int blocks;
  } rows[] = {{"14", 0x15}, {"0", 1}};
  int requests = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.endBlock);
    answer(*dialog, std::string("dump") + row.endBlock + ".sfl", QString::fromLatin1(row.endBlock));
    dialog->boxes.clear();
    dialog->OnDump();
    ASSERT_EQ(dialog->boxes.size(), 1u) << test::BoxTexts(dialog->boxes);
    EXPECT_EQ(dialog->boxes[0].icon, MessageIcon::Information);
    requests += row.blocks;
    EXPECT_EQ(radio->stats().readRequests, requests);
    EXPECT_EQ(g_wEndBlock, row.blocks - 1);
    EXPECT_EQ(std::filesystem::file_size(dir.path() / (std::string("dump") + row.endBlock + ".sfl")),
              kSflHeaderBytes + static_cast<std::uint64_t>(row.blocks) * kSflRecordBytes);
    expectUnlocked(*dialog);
  }
}

TEST_P(DumpWindowTest, ACancelledDialogCreatesNothingAndLocksNothing) {
  const auto dialog = open("-q");
  dialog->show();
  dialog->OnDump();
  EXPECT_EQ(dialog->fileDialogs, 1);
  EXPECT_EQ(dialog->locks, 0);
  EXPECT_TRUE(dialog->boxes.empty());
  EXPECT_TRUE(ListColumn(*dialog, 0).empty());
  EXPECT_TRUE(dialog->GetDlgItem(IDC_FILE_LIST)->isEnabled());
  EXPECT_TRUE(dialog->GetDlgItem(IDC_BROWSE)->isEnabled());
  EXPECT_TRUE(dialog->CloseEnabled());
}

INSTANTIATE_TEST_SUITE_P(BothCables, DumpWindowTest, ::testing::Values(sim::Cable::Qap8, sim::Cable::Qap10),
                         [](const auto& info) { return info.param == sim::Cable::Qap8 ? "Qap8" : "Qap10"; });

}  // namespace
}  // namespace tarvel
