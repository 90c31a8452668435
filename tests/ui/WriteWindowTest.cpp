// WRITE in the window, end to end: a file clicked in the list, the real
// POSIX port on the simulated radio's terminal, the window locked while the
// blocks go out, unlocked and reporting after. What the user does meanwhile
// neither ends nor holds the write.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <set>

#include "base/Report.h"
#include "dialog/DialogTemplate.h"
#include "sim/SimRadio.h"
#include "tests/support/SflText.h"
#include "tests/ui/DialogHarness.h"
#include "tests/ui/SimDialogTest.h"
#include "ui/FileListCtrl.h"
#include "ui/ProgTextCtrl.h"

namespace tarvel {
namespace {

using test::DialogTest;
using test::LampCentre;

// What the window looked like at one pump of the write.
struct LockedLook {
  bool anyPortChoiceEnabled = true;  // or Browse, Reload
  bool writeEnabled = true;
  bool closeEnabled = true;
  bool switchesChecked = true;
  QString statusText;
  int status = -1;
  QColor lamp;
};

class WriteWindowTest : public test::SimDialogTest {
 protected:
  static LockedLook Look(test::TestDialog& dialog) {
    LockedLook look;
    look.anyPortChoiceEnabled = false;
    for (int id : {IDC_PORT, IDC_BAUD, IDC_TYPE0, IDC_TYPE1, IDC_CHECK_5V, IDC_CHECK_MD, IDC_DUMP, IDC_SFL_CONV,
                   IDC_BROWSE, IDC_RELOAD}) {
      if (dialog.GetDlgItem(id)->isEnabled()) look.anyPortChoiceEnabled = true;
    }
    look.writeEnabled = dialog.GetDlgItem(IDC_WRITE)->isEnabled();
    look.closeEnabled = dialog.CloseEnabled();
    look.switchesChecked = dialog.Item<QCheckBox>(IDC_CHECK_5V)->isChecked() ||
                           dialog.Item<QCheckBox>(IDC_CHECK_MD)->isChecked();
    look.statusText = dialog.Item<QLabel>(IDC_STATUS_TEXT)->text();
    look.status = dialog.Context().m_nStatus;
    look.lamp = LampCentre(dialog);
    return look;
  }
};

TEST_P(WriteWindowTest, WritesTheFileWithTheWindowLockedAndReports) {
  const auto radio = startRadio();
  ASSERT_TRUE(radio);
  storePort(radio->linkPath());
  constexpr std::uint16_t kFirst = 0x0120;
  constexpr int kBlocks = 6;
  const std::string filePath = dir.write("fw.sfl", test::ConventionalSfl(kFirst, kBlocks));
  const std::string otherPath = dir.write("other.sfl", test::ConventionalSfl(0, 1));
  const auto dialog = open("-q");
  dialog->show();

  // The technician picks the file from the list and reads its comment.
  const std::vector<std::string> rows = test::ListColumn(*dialog, 0);
  ASSERT_EQ(rows.size(), 2u);
  const int fwRow = rows[0] == "fw" ? 0 : 1;
  test::ClickRow(*dialog, fwRow);
  EXPECT_TRUE(dialog->GetDlgItem(IDC_WRITE)->isEnabled());
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("fw - Tarvel"));
  EXPECT_EQ(dialog->Dialog().FilePath(), filePath);
  const QString comment = dialog->Item<QPlainTextEdit>(IDC_COMMENT)->toPlainText();
  EXPECT_TRUE(comment.startsWith(QStringLiteral(";Product: TEST RADIO\n;Firmware: 1.00\n;")))
      << comment.toStdString();
  EXPECT_TRUE(dialog->boxes.empty());

  dialog->Item<QCheckBox>(IDC_CHECK_5V)->setChecked(true);

  std::vector<LockedLook> looks;
  std::set<QString> counters;
  bool writeEnabledAfterRowClick = true;
  QString enterWentTo;
  dialog->realBoxes = true;
  dialog->onProgress = [&] {
    counters.insert(dialog->ProgressCtrl()->GetWindowText());
    if (!looks.empty()) return;
    looks.push_back(Look(*dialog));
    // Enter where the focus was when WRITE was pressed presses nothing.
    QWidget* focus = QApplication::focusWidget();
    enterWentTo = focus == nullptr ? QString() : focus->objectName() + QLatin1String(focus->metaObject()->className());
    QTest::keyClick(focus != nullptr ? focus : dialog.get(), Qt::Key_Return);
    // What a user may still reach while the blocks go out: another row
    // shows its file; Enter in the list neither closes the window nor stops
    // the write; the refusal to close stays up while the write goes on.
    test::ClickRow(*dialog, 1 - fwRow);
    writeEnabledAfterRowClick = dialog->GetDlgItem(IDC_WRITE)->isEnabled();
    QTest::keyClick(dialog->FileList(), Qt::Key_Return);
    dialog->OnWrite();
    EXPECT_FALSE(dialog->close());
    dialog->Item<QPushButton>(IDC_CLOSE)->click();
  };
  dialog->activateWindow();
  dialog->GetDlgItem(IDC_WRITE)->setFocus();
  dialog->Item<QPushButton>(IDC_WRITE)->click();

  ASSERT_EQ(looks.size(), 1u) << "the write showed no progress";
  EXPECT_FALSE(enterWentTo.contains(QLatin1String("QPushButton"))) << enterWentTo.toStdString();
  const LockedLook& busy = looks[0];
  EXPECT_FALSE(busy.anyPortChoiceEnabled);
  EXPECT_FALSE(busy.writeEnabled);
  EXPECT_FALSE(busy.closeEnabled);
  EXPECT_FALSE(busy.switchesChecked);
  EXPECT_EQ(busy.statusText, QStringLiteral("Writing..."));
  EXPECT_EQ(busy.status, 1);
  EXPECT_EQ(busy.lamp, LampCentre(Lamp::Busy));
  EXPECT_EQ(dialog->locks, 1) << "a second write started inside the first";
  EXPECT_TRUE(counters.count(QStringLiteral("000")));
  EXPECT_TRUE(counters.count(QStringLiteral("005")));
  EXPECT_FALSE(writeEnabledAfterRowClick);
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("other - Tarvel"));
  EXPECT_EQ(dialog->Dialog().FilePath(), otherPath);
  // Every block written while the refusal was up; it went with the write.
  for (const QMessageBox* refusal : dialog->findChildren<QMessageBox*>()) EXPECT_FALSE(refusal->isVisible());

  std::vector<std::uint16_t> expected;
  unsigned sum = 0;
  for (int i = 0; i < kBlocks; ++i) {
    const auto block = static_cast<std::uint16_t>(kFirst + i);
    expected.push_back(block);
    EXPECT_EQ(radio->block(block), test::PatternBlock(block)) << block;
    for (std::uint8_t byte : test::PatternBlock(block)) sum += byte;
  }
  EXPECT_EQ(radio->storedBlocks(), expected);

  ASSERT_EQ(dialog->boxes.size(), 2u) << test::BoxTexts(dialog->boxes);
  EXPECT_EQ(dialog->boxes[0].text, QStringLiteral("Can't close while accessing the flash."));
  EXPECT_EQ(dialog->boxes[1].icon, MessageIcon::Information);
  const std::string report = dialog->boxes[1].text.toStdString();
  EXPECT_TRUE(report.starts_with("Succeeded in writing the flash.\n\n")) << report;
  EXPECT_TRUE(report.ends_with("\n\nCheck SUM is " + FormatHex4(static_cast<std::uint16_t>(sum)))) << report;

  // Idle again.
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(dialog->CloseEnabled());
  EXPECT_EQ(dialog->Context().m_nStatus, 0);
  EXPECT_EQ(LampCentre(*dialog), LampCentre(Lamp::Idle));
  EXPECT_TRUE(dialog->Item<QLabel>(IDC_STATUS_TEXT)->text().isEmpty());
  for (int id : {IDC_WRITE, IDC_PORT, IDC_BAUD, IDC_TYPE0, IDC_TYPE1, IDC_DUMP, IDC_SFL_CONV}) {
    EXPECT_TRUE(dialog->GetDlgItem(id)->isEnabled()) << id;
  }
  const bool qap8 = GetParam() == sim::Cable::Qap8;
  EXPECT_EQ(dialog->GetDlgItem(IDC_CHECK_5V)->isEnabled(), qap8);
  EXPECT_FALSE(dialog->Item<QCheckBox>(IDC_CHECK_5V)->isChecked());
  EXPECT_EQ(dialog->ProgressCtrl()->GetPos(), 0);
  EXPECT_TRUE(dialog->ProgressCtrl()->GetWindowText().isEmpty());
}

TEST_P(WriteWindowTest, ASilentRadioShowsTheYellowLampWhileTheErrorIsUp) {
  sim::Faults faults;
  faults.silent = true;
  const auto radio = startRadio(faults);
  ASSERT_TRUE(radio);
  storePort(radio->devicePath());
  dir.write("fw.sfl", test::ConventionalSfl(0, 2));
  const auto dialog = open();
  dialog->show();
  test::ClickRow(*dialog, 0);
  QColor lampWhileShown;
  bool closableWhileShown = true;
  dialog->onBox = [&](const test::ShownBox&) {
    lampWhileShown = LampCentre(*dialog);
    closableWhileShown = dialog->CloseEnabled();
  };
  dialog->OnWrite();

  ASSERT_EQ(dialog->boxes.size(), 1u) << test::BoxTexts(dialog->boxes);
  EXPECT_EQ(dialog->boxes[0].icon, MessageIcon::Stop);
  EXPECT_TRUE(dialog->boxes[0].text.startsWith(QStringLiteral("Synchronization Error.\r")));
  EXPECT_EQ(lampWhileShown, LampCentre(Lamp::Error));
  EXPECT_FALSE(closableWhileShown);
  EXPECT_EQ(dialog->Context().m_nStatus, 0);
  EXPECT_EQ(LampCentre(*dialog), LampCentre(Lamp::Idle));
  EXPECT_TRUE(dialog->CloseEnabled());
  EXPECT_TRUE(radio->storedBlocks().empty());
}

TEST_P(WriteWindowTest, APortThatCannotBeOpenedIsReportedAndUnlocks) {
  storePort((dir.path() / "no-such-port").string());
  dir.write("fw.sfl", test::ConventionalSfl(0, 1));
  const auto dialog = open();
  dialog->show();
  test::ClickRow(*dialog, 0);
  dialog->OnWrite();
  ASSERT_EQ(dialog->boxes.size(), 1u) << test::BoxTexts(dialog->boxes);
  EXPECT_EQ(dialog->boxes[0].text, QStringLiteral("The COMM Port cannot be handled."));
  EXPECT_EQ(dialog->boxes[0].icon, MessageIcon::Stop);
  EXPECT_FALSE(dialog->boxes[0].detail.isEmpty());
  EXPECT_TRUE(dialog->CloseEnabled());
  EXPECT_TRUE(dialog->GetDlgItem(IDC_WRITE)->isEnabled());
  EXPECT_EQ(dialog->Context().m_nStatus, 0);
}

INSTANTIATE_TEST_SUITE_P(BothCables, WriteWindowTest, ::testing::Values(sim::Cable::Qap8, sim::Cable::Qap10),
                         [](const auto& info) { return info.param == sim::Cable::Qap8 ? "Qap8" : "Qap10"; });

}  // namespace
}  // namespace tarvel
