// The converter file dialogs: their panels, fields, limits and start
// values, the hex-only block fields, the output name that follows the
// chosen file, and the texts they leave behind when they close.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "dialog/DialogTemplate.h"
#include "settings/Settings.h"
#include "tests/support/TempDir.h"
#include "ui/DialogWidgets.h"
#include "ui/FileDialogs.h"
#include "dialog/Globals.h"

namespace tarvel {
namespace {

QLineEdit* Field(const CPanelFileDlg& dialog, int id) {
  return qobject_cast<QLineEdit*>(dialog.GetDlgItem(id));
}

class FileDialogsTest : public ::testing::Test {
 protected:
  FileDialogsTest() { g_bDarkScheme = false; }
  ~FileDialogsTest() override { g_bDarkScheme = false; }

  QString folder() const { return QString::fromStdString(dir.path().string()); }
  Settings settings() const { return Settings((dir.path() / "tarvel.ini").string()); }

  // The panel stands below every standard control of the dialog.
  static void expectPanelBelowTheStandardControls(CPanelFileDlg& dialog) {
    dialog.show();
    QApplication::processEvents();
    QWidget* panel = dialog.Panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    for (const char* name : {"buttonBox", "fileTypeCombo", "fileNameEdit", "splitter"}) {
      const QWidget* standard = dialog.findChild<QWidget*>(QString::fromLatin1(name));
      ASSERT_NE(standard, nullptr) << name;
      const QPoint bottom = standard->mapTo(&dialog, QPoint(0, standard->height()));
      EXPECT_GE(panel->y(), bottom.y()) << name;
    }
    dialog.reject();
  }

  test::TempDir dir;
};

TEST(HexEdit, TypingTakesOnlyHexDigitsDotBackspaceAndTab) {
  const struct {
    const char* typed;
    const char* text;
  } rows[] = {
      {"0aF9", "0aF9"},
      {"1.f", "1.f"},
      {"gx- G", ""},
      {"3 f-g", "3f"},
      {"ABCDEFabcdef0123456789", "ABCDEFabcdef0123456789"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.typed);
    CHexEdit edit;
    QTest::keyClicks(&edit, QString::fromLatin1(row.typed));
    EXPECT_EQ(edit.text(), QString::fromLatin1(row.text));
  }

  CHexEdit edit;
  edit.setText(QStringLiteral("3FF"));
  QTest::keyClick(&edit, Qt::Key_Backspace);
  EXPECT_EQ(edit.text(), QStringLiteral("3F"));
  edit.setCursorPosition(0);
  QTest::keyClick(&edit, Qt::Key_Delete);  // an editing key, not a typed character
  EXPECT_EQ(edit.text(), QStringLiteral("F"));
  // Ctrl+V types a control character, which is dropped; the context menu's
  // paste takes hex digits only.
  QGuiApplication::clipboard()->setText(QStringLiteral("zz9"));
  QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(edit.text(), QStringLiteral("F"));
  edit.paste();
  EXPECT_EQ(edit.text(), QStringLiteral("F"));
  QGuiApplication::clipboard()->setText(QStringLiteral("1a"));
  edit.paste();
  EXPECT_EQ(edit.text(), QStringLiteral("1aF"));
  for (QChar c : QStringLiteral("\b\t.09AFaf")) EXPECT_TRUE(CHexEdit::IsTypable(c)) << int{c.unicode()};
  for (QChar c : QStringLiteral("gG -x\r\x16 /:@`")) EXPECT_FALSE(CHexEdit::IsTypable(c)) << int{c.unicode()};
}

TEST_F(FileDialogsTest, TheConverterDialogOpensHexFilesWithItsPanel) {
  CFileDlg dialog(settings(), folder());
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("SFL File Converter"));
  EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
  EXPECT_EQ(dialog.nameFilters(),
            (QStringList{QStringLiteral("HEX File (*.hex)"), QStringLiteral("All Files (*)")}));
  EXPECT_EQ(dialog.labelText(QFileDialog::Accept), QStringLiteral("&Convert"));
  EXPECT_EQ(dialog.directory().absolutePath(), folder());
  const auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
  ASSERT_NE(buttons, nullptr);
  EXPECT_EQ(buttons->button(QDialogButtonBox::Open)->text(), QStringLiteral("&Convert"));

  // The fields with their limits; absent settings give 000 and 3FF.
  const struct {
    int id;
    int limit;
    const char* text;
    const char* label;
  } fields[] = {{IDC_SFL_NAME, 128, "", "&Output SFL File Name:"},
                {IDC_SFL_START, 3, "000", "&START"},
                {IDC_SFL_END, 3, "3FF", "&END"},
                {IDC_PRODUCT_NAME, 30, "", "[&Product Name]"},
                {IDC_FIRM_VERSION, 30, "", "[Firm &Version]"}};
  const QList<QLabel*> labels = dialog.Panel()->findChildren<QLabel*>();
  for (const auto& field : fields) {
    SCOPED_TRACE(field.id);
    QLineEdit* edit = Field(dialog, field.id);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->maxLength(), field.limit);
    EXPECT_EQ(edit->text(), QString::fromLatin1(field.text));
    const bool hex = field.id == IDC_SFL_START || field.id == IDC_SFL_END;
    EXPECT_EQ(qobject_cast<CHexEdit*>(edit) != nullptr, hex);
    const auto label = std::find_if(labels.begin(), labels.end(), [&](const QLabel* l) {
      return l->text() == QString::fromLatin1(field.label);
    });
    ASSERT_NE(label, labels.end());
    EXPECT_EQ((*label)->buddy(), edit);
    // One character past the limit cannot be typed.
    edit->clear();
    QTest::keyClicks(edit, QString(field.limit + 1, QLatin1Char('a')));
    EXPECT_EQ(edit->text().size(), field.limit);
  }
  QStringList groups;
  for (const QGroupBox* group : dialog.Panel()->findChildren<QGroupBox*>()) groups << group->title();
  EXPECT_EQ(groups, (QStringList{QStringLiteral("Block"), QStringLiteral("Comment")}));
  const DialogBaseUnits units = BaseUnitsOf(dialog.Panel()->font());
  EXPECT_EQ(dialog.Panel()->font().family(), QStringLiteral("Times New Roman"));
  EXPECT_EQ(dialog.Panel()->size(), QSize(DluToPixelsX(kConverterPanelWidthDlu, units),
                                          DluToPixelsY(kConverterPanelHeightDlu, units)));
  expectPanelBelowTheStandardControls(dialog);
}

TEST_F(FileDialogsTest, StartAndEndOpenWithTheStoredTexts) {
  const struct {
    const char* stored;
    const char* start;
    const char* end;
  } rows[] = {{"Start=020\nEnd=0ff\n", "020", "0ff"},
              {"Start=Start\nEnd=End\n", "000", "3FF"},  // the names themselves stand for absent keys
              {"Start=\nEnd=1\n", "", "1"},
              {"Start=12345\n", "123", "3FF"}};  // cut to the field's limit
  for (const auto& row : rows) {
    SCOPED_TRACE(row.stored);
    dir.write("tarvel.ini", std::string("[SFL]\n") + row.stored);
    CFileDlg dialog(settings(), folder());
    EXPECT_EQ(Field(dialog, IDC_SFL_START)->text(), QString::fromLatin1(row.start));
    EXPECT_EQ(Field(dialog, IDC_SFL_END)->text(), QString::fromLatin1(row.end));
  }
}

TEST_F(FileDialogsTest, TheOutputNameFollowsTheChosenFile) {
  CFileDlg dialog(settings(), folder());
  QLineEdit* name = Field(dialog, IDC_SFL_NAME);
  const struct {
    const char* chosen;
    const char* name;
  } rows[] = {{"fw.hex", "fw.sfl"}, {"data", "data.sfl"}, {"fw.v2.HEX", "fw.v2.sfl"}, {".hex", ""}, {"", ""}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.chosen);
    name->setText(QStringLiteral("typed.sfl"));  // replaced at the next change
    const std::string chosen = row.chosen;
    emit dialog.currentChanged(chosen.empty() ? QString()
                                              : QString::fromStdString((dir.path() / chosen).string()));
    EXPECT_EQ(name->text(), QString::fromLatin1(row.name));
  }
  // A folder chosen in the list leaves the name as it was.
  std::filesystem::create_directory(dir.path() / "sub.hex");
  name->setText(QStringLiteral("kept.sfl"));
  emit dialog.currentChanged(QString::fromStdString((dir.path() / "sub.hex").string()));
  EXPECT_EQ(name->text(), QStringLiteral("kept.sfl"));
}

TEST_F(FileDialogsTest, ClosingLeavesTheFieldTextsBehindConfirmedOrNot) {
  for (bool confirmed : {false, true}) {
    SCOPED_TRACE(confirmed);
    CFileDlg dialog(settings(), folder());
    Field(dialog, IDC_SFL_NAME)->setText(QStringLiteral("out.sfl"));
    Field(dialog, IDC_SFL_START)->setText(confirmed ? QStringLiteral("0a") : QStringLiteral("1."));
    Field(dialog, IDC_SFL_END)->setText(QStringLiteral("fff"));
    Field(dialog, IDC_PRODUCT_NAME)->setText(QStringLiteral("Radio X"));
    Field(dialog, IDC_FIRM_VERSION)->setText(QStringLiteral("2.01"));
    dialog.done(confirmed ? QDialog::Accepted : QDialog::Rejected);
    EXPECT_EQ(dialog.Fields().sflName, "out.sfl");
    EXPECT_EQ(dialog.Fields().startBlock, confirmed ? "0a" : "1.");
    EXPECT_EQ(dialog.Fields().endBlock, "fff");
    EXPECT_EQ(dialog.Fields().productName, "Radio X");
    EXPECT_EQ(dialog.Fields().firmVersion, "2.01");
  }
  // The settings are the command's to write, after a confirmed dialog.
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "tarvel.ini"));
}

TEST_F(FileDialogsTest, TheDarkSchemeColoursTheConverterPanelsLabels) {
  for (bool dark : {false, true}) {
    SCOPED_TRACE(dark);
    g_bDarkScheme = dark;
    CFileDlg dialog(settings(), folder());
    const QColor expected = dark ? QColor(192, 0, 0) : QApplication::palette().color(QPalette::WindowText);
    for (const QWidget* widget : dialog.Panel()->findChildren<QWidget*>()) {
      if (qobject_cast<const QLabel*>(widget) == nullptr && qobject_cast<const QGroupBox*>(widget) == nullptr)
        continue;
      EXPECT_EQ(widget->palette().color(QPalette::Active, QPalette::WindowText), expected);
    }
    EXPECT_EQ(Field(dialog, IDC_SFL_NAME)->palette().color(QPalette::Text),
              QApplication::palette().color(QPalette::Text));
  }
}

TEST_F(FileDialogsTest, TheSaveDialogOffersUntitledAndTheEndBlockAt3FFEveryTime) {
  for (int opening = 0; opening < 2; ++opening) {
    SCOPED_TRACE(opening);
    CFileDlg2 dialog(folder());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Flash Extraction"));
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_TRUE(dialog.defaultSuffix().isEmpty());  // a name typed without extension stays as it is
    EXPECT_EQ(dialog.nameFilters(),
              (QStringList{QStringLiteral("SFL File (*.sfl)"), QStringLiteral("All Files (*)")}));
    EXPECT_NE(dialog.labelText(QFileDialog::Accept), QStringLiteral("&Convert"));
    EXPECT_EQ(dialog.selectedFiles(), QStringList{folder() + QStringLiteral("/Untitled.sfl")});
    QLineEdit* endBlock = Field(dialog, IDC_DUMP_END_BLOCK);
    ASSERT_NE(qobject_cast<CHexEdit*>(endBlock), nullptr);
    EXPECT_EQ(endBlock->text(), QStringLiteral("3FF"));
    EXPECT_EQ(endBlock->maxLength(), 3);
    endBlock->clear();
    QTest::keyClicks(endBlock, QStringLiteral("1x2g34"));
    EXPECT_EQ(endBlock->text(), QStringLiteral("123"));
    dialog.reject();
    EXPECT_EQ(dialog.EndBlock(), "123");
    const QList<QLabel*> labels = dialog.Panel()->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0]->text(), QStringLiteral("End &Block:"));
    EXPECT_EQ(labels[0]->buddy(), endBlock);
  }
  CFileDlg2 dialog(folder());
  expectPanelBelowTheStandardControls(dialog);
}

}  // namespace
}  // namespace tarvel
