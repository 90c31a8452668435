#include "catalog/RowSort.h"

#include <gtest/gtest.h>

namespace tarvel {
namespace {

CatalogRow Row(const std::string& baseName, const std::string& dateText = "2006/06/29 9:05",
               const std::string& extension = ".sfl") {
  return CatalogRow{baseName, dateText, baseName + extension, 0};
}

std::vector<std::string> Files(const std::vector<CatalogRow>& rows) {
  std::vector<std::string> out;
  for (const CatalogRow& row : rows) out.push_back(row.fileName);
  return out;
}

TEST(RowSortTest, NamesCompareByLowerCaseBytes) {
  // Listed B then a: shown a above B.
  std::vector<CatalogRow> rows{Row("a"), Row("B")};
  SortRows(rows, kColumnName, true);
  EXPECT_EQ(Files(rows), (std::vector<std::string>{"a.sfl", "B.sfl"}));
  SortRows(rows, kColumnName, false);
  EXPECT_EQ(Files(rows), (std::vector<std::string>{"B.sfl", "a.sfl"}));

  // '_' (0x5F) lies between 'A' and 'a': it goes first only when letters
  // are compared lower-cased. A prefix goes first; bytes above 0x7F last.
  rows = {Row("fw2"), Row("\xC3\xA9t\xC3\xA9"), Row("Ab"), Row("fw"), Row("_x"), Row("Z")};
  SortRows(rows, kColumnName, true);
  EXPECT_EQ(Files(rows), (std::vector<std::string>{"_x.sfl", "Ab.sfl", "fw.sfl", "fw2.sfl", "Z.sfl",
                                                   "\xC3\xA9t\xC3\xA9.sfl"}));
}

TEST(RowSortTest, DatesSortAsText) {
  std::vector<CatalogRow> rows{Row("a", "2006/06/29 9:05"), Row("b", "2006/06/29 10:30"),
                               Row("c", "2005/12/31 23:59"), Row("d", "2006/07/01 0:00")};
  SortRows(rows, kColumnDate, true);
  // Across days chronological; within a day "10:30" goes before "9:05".
  EXPECT_EQ(Files(rows), (std::vector<std::string>{"c.sfl", "b.sfl", "a.sfl", "d.sfl"}));
  SortRows(rows, kColumnDate, false);
  EXPECT_EQ(Files(rows), (std::vector<std::string>{"d.sfl", "a.sfl", "b.sfl", "c.sfl"}));
}

TEST(RowSortTest, EqualTextsKeepTheirOrderBothWays) {
  // fw.sfl and FW.sfl are two files here; one minute holds many files.
  std::vector<CatalogRow> rows{Row("FW", "2006/06/29 9:05"), Row("b", "2006/06/29 9:05"),
                               Row("fw", "2006/06/29 9:05"), Row("a", "2001/01/01 0:00")};
  SortRows(rows, kColumnName, true);
  EXPECT_EQ(Files(rows), (std::vector<std::string>{"a.sfl", "b.sfl", "FW.sfl", "fw.sfl"}));
  SortRows(rows, kColumnName, false);
  EXPECT_EQ(Files(rows), (std::vector<std::string>{"FW.sfl", "fw.sfl", "b.sfl", "a.sfl"}));
  SortRows(rows, kColumnDate, true);
  EXPECT_EQ(Files(rows), (std::vector<std::string>{"a.sfl", "FW.sfl", "fw.sfl", "b.sfl"}));
}

TEST(RowSortTest, CompareRowsSignFollowsDirection) {
  const CatalogRow a = Row("a", "2006/06/29 9:05");
  const CatalogRow bigB = Row("B", "2006/06/29 10:30");
  EXPECT_LT(CompareRows(a, bigB, kColumnName, true), 0);
  EXPECT_GT(CompareRows(a, bigB, kColumnName, false), 0);
  EXPECT_GT(CompareRows(a, bigB, kColumnDate, true), 0);
  EXPECT_EQ(CompareRows(Row("FW"), Row("fw"), kColumnName, true), 0);
  EXPECT_EQ(CompareRows(Row("FW"), Row("fw"), kColumnName, false), 0);
}

TEST(RowSortTest, LowerCaseKeyLeavesInvalidBytesAlone) {
  EXPECT_EQ(LowerCaseKey("Model.A-Z_09"), "model.a-z_09");
  EXPECT_EQ(LowerCaseKey("\xC3\x84\xC3\x96\xC3\x9C"), "\xC3\xA4\xC3\xB6\xC3\xBC");  // ÄÖÜ
  EXPECT_EQ(LowerCaseKey("\xD0\x90"), "\xD0\xB0");                                // Cyrillic А
  EXPECT_EQ(LowerCaseKey("CAF\xC9"), "caf\xC9");  // Latin-1 É is not UTF-8: kept
  EXPECT_EQ(LowerCaseKey("\xC3"), "\xC3");
}

TEST(SortStateTest, ClicksFollowTheDirectionRules) {
  struct Step {
    int click;
    bool accepted;
    int column;
    bool ascending;
    int arrowOfColumn0;
    int arrowOfColumn1;
  };
  const Step steps[] = {
      {1, true, 1, true, -1, 1},    // first click on a column: ascending
      {1, true, 1, false, -1, 0},   // the same column again: descending
      {0, true, 0, true, 1, -1},    // another column starts ascending whatever the other had
      {0, true, 0, false, 0, -1},
      {0, true, 0, true, 1, -1},
      {2, false, 0, true, 1, -1},   // no such column: nothing changes
      {-1, false, 0, true, 1, -1},
  };
  SortState state;
  EXPECT_EQ(state.column(), -1);
  EXPECT_FALSE(state.ascending());
  EXPECT_EQ(state.ArrowImage(0), -1);
  EXPECT_EQ(state.ArrowImage(1), -1);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.click);
    EXPECT_EQ(state.Click(step.click), step.accepted);
    EXPECT_EQ(state.column(), step.column);
    EXPECT_EQ(state.ascending(), step.ascending);
    EXPECT_EQ(state.ArrowImage(0), step.arrowOfColumn0);
    EXPECT_EQ(state.ArrowImage(1), step.arrowOfColumn1);
  }
}

}  // namespace
}  // namespace tarvel
