// The catalog in the window: the list filled from the folder, the header's
// sort arrows, Reload and Browse, and the click that chooses a file and
// shows its comment.

#include <QImage>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <functional>

#include "catalog/FileList.h"
#include "dialog/DialogTemplate.h"
#include "tests/catalog/CatalogFiles.h"
#include "tests/ui/DialogHarness.h"
#include "ui/Artwork.h"
#include "ui/FileListCtrl.h"
#include "ui/ProgStatusBar.h"

namespace tarvel {
namespace {

using test::ClickRow;
using test::ListColumn;
using Names = std::vector<std::string>;

class CatalogWindowTest : public test::DialogTest {
 protected:
  // An SFL file last written at a local time of June 2006.
  std::string file(const std::string& name, const std::string& content, int day = 29, int hour = 12,
                   int minute = 0) const {
    const std::string path = dir.write(name, content);
    EXPECT_TRUE(test::SetWriteTime(path, test::ListedLocalTime(2006, 6, day, hour, minute)));
    return path;
  }
  // The SFL entries of the folder in the order the system lists them.
  static QString comment(const test::TestDialog& dialog) {
    return dialog.Item<QPlainTextEdit>(IDC_COMMENT)->toPlainText();
  }
  static void clickHeader(test::TestDialog& dialog, int column) {
    CSortHeader* header = dialog.FileList()->Header();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
  }
  // The header shows arrow `image` on `column`, pixel for pixel, to the
  // right of the column's text.
  static void expectArrow(test::TestDialog& dialog, int column, int image) {
    const CSortHeader* header = dialog.FileList()->Header();
    ASSERT_EQ(header->ArrowColumn(), column);
    ASSERT_EQ(header->ArrowImage(), image);
    const QRect place = header->ArrowRect();
    const int textRight = header->sectionViewportPosition(column) +
                          header->fontMetrics().horizontalAdvance(
                              header->model()->headerData(column, Qt::Horizontal).toString());
    EXPECT_GT(place.left(), textRight);
    EXPECT_LE(place.right(), header->sectionViewportPosition(column) + header->sectionSize(column));
    const QImage shot = header->viewport()->grab().toImage();
    const QImage art = DrawSortArrow(image).toImage();
    for (int y = 0; y < kSortArrowPx; ++y) {
      for (int x = 0; x < kSortArrowPx; ++x) {
        const bool black = shot.pixelColor(place.x() + x, place.y() + y) == QColor(Qt::black);
        EXPECT_EQ(black, art.pixelColor(x, y).alpha() == 255) << x << "," << y;
      }
    }
  }
};

TEST(SortArrows, AreTheTwoTrianglesOfTheHeader) {
  const char* up[] = {"........", "........", "...##...", "..####..",
                      ".######.", "########", "........", "........"};
  const char* down[] = {"........", "........", "########", ".######.",
                        "..####..", "...##...", "........", "........"};
  for (int image : {0, 1}) {
    const QImage art = DrawSortArrow(image).toImage();
    ASSERT_EQ(art.size(), QSize(8, 8));
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) {
        const bool black = (image == 0 ? up : down)[y][x] == '#';
        EXPECT_EQ(art.pixelColor(x, y), black ? QColor(Qt::black) : QColor(Qt::transparent)) << image;
      }
    }
  }
  EXPECT_TRUE(DrawSortArrow(2).isNull());
}

TEST_F(CatalogWindowTest, ListsEverySflEntryInReverseNameOrderWithItsDate) {
  file("B.sfl", ";b\n", 29, 9, 5);
  file("a.sfl", ";a\n", 29, 10, 30);
  file("Model.A.sfl", "");
  file("fw.SFL", "");
  file(".hidden.sfl", "");
  file("notes.txt", "");
  std::filesystem::create_directory(dir.path() / "old.sfl");
  const auto dialog = open();
  dialog->show();

  // The names compared in upper case, the last one on top.
  const Names expected{"old", "Model.A", "fw", "B", "a", ".hidden"};
  ASSERT_EQ(ListColumn(*dialog, 0), expected);
  const Names dates = ListColumn(*dialog, 1);
  const auto row = [&](const std::string& name) {
    return static_cast<std::size_t>(std::find(expected.begin(), expected.end(), name) - expected.begin());
  };
  EXPECT_EQ(dates[row("B")], "2006/06/29 9:05");
  EXPECT_EQ(dates[row("a")], "2006/06/29 10:30");

  // Both columns at least as wide as their contents and their header.
  CFileListCtrl* list = dialog->FileList();
  for (int column : {0, 1}) {
    EXPECT_GE(list->columnWidth(column), list->horizontalHeader()->sectionSizeHint(column)) << column;
    for (int row = 0; row < list->rowCount(); ++row) {
      EXPECT_GT(list->columnWidth(column),
                list->fontMetrics().horizontalAdvance(list->item(row, column)->text()));
    }
  }
  EXPECT_EQ(list->Header()->ArrowColumn(), -1);
  EXPECT_FALSE(dialog->GetDlgItem(IDC_WRITE)->isEnabled());
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Tarvel"));
  EXPECT_TRUE(list->selectedItems().isEmpty());
  EXPECT_EQ(list->currentRow(), -1);
}

TEST_F(CatalogWindowTest, AClickChoosesTheRowsFileAndShowsItsCommentBlock) {
  const struct {
    const char* name;
    std::string content;
    QString shown;
  } rows[] = {
      {"fw.SFL", ";Ver 1+2\r\nVer 1+2\n+0000 00\n", QStringLiteral(";Ver 1+2\nVer 1")},
      {"plus.sfl", "+0000 00\n", QStringLiteral(" Not comments in this file !!")},
      {"empty.sfl", "", QStringLiteral(" Not comments in this file !!")},
      {"lines.sfl", ";a\n;b\n", QStringLiteral(";a\n;b\n")},
      {"mid.sfl", "x ;y+z\n+", QStringLiteral("x ;y+z\n")},
      {"latin.sfl", "caf\xE9\n+", QStringLiteral("caf\u00E9\n")},
      {"nul.sfl", std::string("ab\0cd\n+", 7), QStringLiteral("ab")},
      {"nulfirst.sfl", std::string("\0ab\n+", 5), QString()},
  };
  for (const auto& row : rows) file(row.name, row.content);
  const auto dialog = open();
  dialog->show();
  const Names names = ListColumn(*dialog, 0);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string base = std::string(row.name).substr(0, std::string(row.name).rfind('.'));
    const int index = static_cast<int>(std::find(names.begin(), names.end(), base) - names.begin());
    ASSERT_LT(index, static_cast<int>(names.size()));
    ClickRow(*dialog, index);
    EXPECT_TRUE(dialog->GetDlgItem(IDC_WRITE)->isEnabled());
    EXPECT_EQ(dialog->windowTitle(), QString::fromStdString(base) + QStringLiteral(" - Tarvel"));
    // The row's own name, case and all: fw.SFL is not fw.sfl here.
    EXPECT_EQ(dialog->Dialog().FilePath(), (dir.path() / row.name).string());
    EXPECT_EQ(comment(*dialog), row.shown);
  }
  EXPECT_TRUE(dialog->boxes.empty());
}

// The highlighted row is the file, however it became current: the keys
// choose as a click does, and Enter in the list keeps the window.
TEST_F(CatalogWindowTest, TheRowTheKeyboardReachesIsTheFile) {
  file("one.sfl", ";one\n");
  file("two.sfl", ";two\n");
  file("tree.sfl", ";tree\n");
  const auto dialog = open();
  dialog->show();
  dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  CFileListCtrl* list = dialog->FileList();
  ASSERT_TRUE(list->hasFocus());
  // No row has the keyboard focus yet: a click beside the rows does nothing.
  EXPECT_EQ(list->currentRow(), -1);
  ClickRow(*dialog, 3);
  EXPECT_FALSE(dialog->GetDlgItem(IDC_WRITE)->isEnabled());

  const Names names = ListColumn(*dialog, 0);
  const std::string last = names.back();
  const struct {
    const char* name;
    std::function<void()> act;
    int row;
  } steps[] = {
      {"a click", [&] { ClickRow(*dialog, 0); }, 0},
      {"Down", [&] { QTest::keyClick(list, Qt::Key_Down); }, 1},
      {"End", [&] { QTest::keyClick(list, Qt::Key_End); }, 2},
      {"Home", [&] { QTest::keyClick(list, Qt::Key_Home); }, 0},
      {"typing the last name's first letters",
       [&] { QTest::keyClicks(list, QString::fromStdString(last.substr(0, 2))); }, 2},
      {"Up", [&] { QTest::keyClick(list, Qt::Key_Up); }, 1},
      {"Enter", [&] { QTest::keyClick(list, Qt::Key_Return); }, 1},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    ASSERT_EQ(list->currentRow(), step.row);
    const std::string base = names[static_cast<std::size_t>(step.row)];
    EXPECT_TRUE(dialog->GetDlgItem(IDC_WRITE)->isEnabled());
    EXPECT_EQ(dialog->windowTitle().toStdString(), base + " - Tarvel");
    EXPECT_EQ(dialog->Dialog().FilePath(), (dir.path() / (base + ".sfl")).string());
    EXPECT_EQ(comment(*dialog).toStdString(), ";" + base + "\n");
    EXPECT_TRUE(dialog->isVisible());
  }

  // A click beside the rows acts on the row with the keyboard focus, and
  // every click reads the file afresh.
  const std::string focused = names[1];
  dir.write(focused + ".sfl", ";changed\n");
  ClickRow(*dialog, 3);
  EXPECT_EQ(dialog->windowTitle().toStdString(), focused + " - Tarvel");
  EXPECT_EQ(comment(*dialog), QStringLiteral(";changed\n"));
  EXPECT_TRUE(dialog->boxes.empty()) << test::BoxTexts(dialog->boxes);
}

TEST_F(CatalogWindowTest, AFileThatVanishedAfterTheListingIsReportedOnClick) {
  file("a.sfl", ";kept\n");
  const std::string gone = file("b.sfl", ";b\n");
  const auto dialog = open();
  dialog->show();
  const Names names = ListColumn(*dialog, 0);
  const int a = names[0] == "a" ? 0 : 1;
  ClickRow(*dialog, a);
  ASSERT_EQ(comment(*dialog), QStringLiteral(";kept\n"));
  dialog->Item<QPushButton>(IDC_WRITE)->setEnabled(false);

  std::filesystem::remove(gone);
  ClickRow(*dialog, 1 - a);
  ASSERT_EQ(dialog->boxes.size(), 1u) << test::BoxTexts(dialog->boxes);
  EXPECT_EQ(dialog->boxes[0].text, QStringLiteral("The file cannot be opened."));
  EXPECT_EQ(dialog->boxes[0].icon, MessageIcon::Stop);
  EXPECT_FALSE(dialog->boxes[0].detail.isEmpty());
  // The choice stands; WRITE will report the same when pressed.
  EXPECT_TRUE(dialog->GetDlgItem(IDC_WRITE)->isEnabled());
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("b - Tarvel"));
  EXPECT_EQ(dialog->Dialog().FilePath(), gone);
  EXPECT_EQ(comment(*dialog), QStringLiteral(";kept\n"));
}

TEST_F(CatalogWindowTest, HeaderClicksSortWithTheirArrowAndReloadKeepsTheState) {
  file("B.sfl", "", 29, 9, 5);
  file("a.sfl", "", 29, 10, 30);
  file("c.sfl", "", 28, 12, 0);
  const auto dialog = open();
  dialog->show();
  const Names listed = ListColumn(*dialog, 0);

  const struct {
    int column;
    Names order;
    bool ascending;
  } clicks[] = {
      {0, {"a", "B", "c"}, true},   // compared as a, b, c
      {0, {"c", "B", "a"}, false},  // the same column again reverses
      {1, {"c", "a", "B"}, true},   // another column starts ascending; 10:30 before 9:05
      {1, {"B", "a", "c"}, false},
  };
  for (const auto& click : clicks) {
    SCOPED_TRACE(testing::Message() << click.column << (click.ascending ? " ascending" : " descending"));
    clickHeader(*dialog, click.column);
    EXPECT_EQ(ListColumn(*dialog, 0), click.order);
    EXPECT_EQ(dialog->Dialog().SortColumn(), click.column);
    EXPECT_EQ(dialog->Dialog().SortAscending(), click.ascending);
    // Ascending shows the downward triangle, descending the upward one.
    expectArrow(*dialog, click.column, click.ascending ? 1 : 0);
  }

  // Reload lists in the folder's order again and keeps the state and arrow.
  dialog->Item<QPushButton>(IDC_RELOAD)->click();
  EXPECT_EQ(ListColumn(*dialog, 0), listed);
  EXPECT_EQ(dialog->Dialog().SortColumn(), 1);
  EXPECT_FALSE(dialog->Dialog().SortAscending());
  expectArrow(*dialog, 1, 0);
  clickHeader(*dialog, 1);
  EXPECT_EQ(ListColumn(*dialog, 0), (Names{"c", "a", "B"}));
  expectArrow(*dialog, 1, 1);
}

TEST_F(CatalogWindowTest, TheChosenRowStaysChosenThroughASort) {
  file("a.sfl", ";a\n");
  file("b.sfl", ";b\n");
  file("c.sfl", ";c\n");
  const auto dialog = open();
  dialog->show();
  clickHeader(*dialog, 0);
  ClickRow(*dialog, 0);
  ASSERT_EQ(dialog->windowTitle(), QStringLiteral("a - Tarvel"));
  clickHeader(*dialog, 0);
  CFileListCtrl* list = dialog->FileList();
  EXPECT_EQ(list->currentRow(), 2);
  EXPECT_TRUE(list->item(2, 0)->isSelected());
  EXPECT_EQ(list->item(2, 0)->text(), QStringLiteral("a"));
}

TEST_F(CatalogWindowTest, ReloadResetsTheChoiceAndKeepsTheCommentOfAnEmptyFolder) {
  const std::string only = file("fw.sfl", ";fw\n");
  const auto dialog = open();
  dialog->show();
  ClickRow(*dialog, 0);
  ASSERT_TRUE(dialog->GetDlgItem(IDC_WRITE)->isEnabled());

  // Files found: the comment box is emptied.
  dialog->Item<QPushButton>(IDC_RELOAD)->click();
  EXPECT_FALSE(dialog->GetDlgItem(IDC_WRITE)->isEnabled());
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Tarvel"));
  EXPECT_EQ(dialog->Dialog().FilePath(), only);
  EXPECT_TRUE(comment(*dialog).isEmpty());

  ClickRow(*dialog, 0);
  std::filesystem::remove(only);
  dialog->Item<QPushButton>(IDC_RELOAD)->click();
  EXPECT_EQ(dialog->FileList()->rowCount(), 0);
  EXPECT_FALSE(dialog->GetDlgItem(IDC_WRITE)->isEnabled());
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Tarvel"));
  EXPECT_EQ(comment(*dialog), QStringLiteral(";fw\n"));
}

TEST_F(CatalogWindowTest, BrowseOffersTheCurrentFolderAndACancelChangesNothing) {
  file("fw.sfl", "");
  const std::filesystem::path other = dir.path() / "other";
  std::filesystem::create_directory(other);
  file("other/x.sfl", ";x\n");
  const auto dialog = open();
  dialog->show();
  clickHeader(*dialog, 0);
  ClickRow(*dialog, 0);

  QString title;
  QString offered;
  dialog->onFileDialog = [&](QFileDialog& chooser) {
    title = chooser.windowTitle();
    offered = chooser.directory().absolutePath();
    EXPECT_EQ(chooser.fileMode(), QFileDialog::Directory);
    chooser.reject();
  };
  dialog->Item<QPushButton>(IDC_BROWSE)->click();
  EXPECT_EQ(title, QStringLiteral("Please select the SFL file folder."));
  EXPECT_EQ(offered.toStdString(), dir.path().string());
  EXPECT_EQ(dialog->Dialog().SflFolder(), dir.path().string());
  EXPECT_EQ(ListColumn(*dialog, 0), Names{"fw"});
  EXPECT_TRUE(dialog->GetDlgItem(IDC_WRITE)->isEnabled());

  dialog->onFileDialog = [&](QFileDialog& chooser) {
    chooser.setDirectory(QString::fromStdString(other.string()));
    static_cast<QDialog&>(chooser).accept();  // protected in QFileDialog
  };
  dialog->Item<QPushButton>(IDC_BROWSE)->click();
  EXPECT_EQ(dialog->Dialog().SflFolder(), other.string());
  EXPECT_EQ(dialog->StatusBar()->GetPaneText(0).toStdString(), other.string());
  EXPECT_EQ(ListColumn(*dialog, 0), Names{"x"});
  EXPECT_FALSE(dialog->GetDlgItem(IDC_WRITE)->isEnabled());
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Tarvel"));
  EXPECT_TRUE(comment(*dialog).isEmpty());
  // The sort state and its arrow outlive the change of folder.
  expectArrow(*dialog, 0, 1);

  ClickRow(*dialog, 0);
  EXPECT_EQ(dialog->Dialog().FilePath(), (other / "x.sfl").string());
  EXPECT_EQ(comment(*dialog), QStringLiteral(";x\n"));
}

}  // namespace
}  // namespace tarvel
