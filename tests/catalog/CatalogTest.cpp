#include "catalog/Catalog.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "catalog/CommentBlock.h"
#include "tests/catalog/CatalogFiles.h"

namespace tarvel {
namespace {

std::vector<std::string> BaseNames(const std::vector<CatalogRow>& rows) {
  std::vector<std::string> out;
  for (const CatalogRow& row : rows) out.push_back(row.baseName);
  return out;
}

// A folder of four files with distinct names and dates.
class CatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const struct {
      const char* name;
      int day;
    } files[] = {{"B.sfl", 3}, {"a.sfl", 1}, {"fw.SFL", 4}, {"Model.A.sfl", 2}};
    for (const auto& file : files) {
      ASSERT_TRUE(test::SetWriteTime(dir.write(file.name, ";" + std::string(file.name) + "\n+0000"),
                                     test::ListedLocalTime(2006, 6, file.day, 12, 0)));
    }
  }
  std::string folder() const { return dir.path().string(); }

  test::TempDir dir;
};

TEST_F(CatalogTest, SwitchingColumnsStartsAscending) {
  Catalog catalog(folder());
  catalog.Fill();
  catalog.ColumnClick(kColumnDate);
  EXPECT_EQ(BaseNames(catalog.rows()), (std::vector<std::string>{"a", "Model.A", "B", "fw"}));
  catalog.ColumnClick(kColumnDate);
  EXPECT_EQ(BaseNames(catalog.rows()), (std::vector<std::string>{"fw", "B", "Model.A", "a"}));
  catalog.ColumnClick(kColumnName);
  EXPECT_TRUE(catalog.sortState().ascending());
  EXPECT_EQ(BaseNames(catalog.rows()), (std::vector<std::string>{"a", "B", "fw", "Model.A"}));
}

TEST_F(CatalogTest, ReloadAfterDescendingSortRefillsInListingOrderAndKeepsTheState) {
  Catalog catalog(folder());
  catalog.Fill();
  catalog.ColumnClick(kColumnName);
  catalog.ColumnClick(kColumnName);
  ASSERT_EQ(BaseNames(catalog.rows()), (std::vector<std::string>{"Model.A", "fw", "B", "a"}));

  EXPECT_TRUE(catalog.Fill());
  EXPECT_EQ(BaseNames(catalog.rows()), BaseNames(ListSflFolder(folder())));
  EXPECT_EQ(catalog.sortState().column(), kColumnName);
  EXPECT_FALSE(catalog.sortState().ascending());
  EXPECT_EQ(catalog.sortState().ArrowImage(kColumnName), 0);  // the upward triangle stays

  // The next click on that column reverses the previous direction.
  catalog.ColumnClick(kColumnName);
  EXPECT_TRUE(catalog.sortState().ascending());
  EXPECT_EQ(BaseNames(catalog.rows()), (std::vector<std::string>{"a", "B", "fw", "Model.A"}));
}

TEST_F(CatalogTest, ChangingToAnEmptyFolderKeepsTheSortState) {
  Catalog catalog(folder());
  catalog.Fill();
  catalog.ColumnClick(kColumnDate);
  std::filesystem::create_directory(dir.path() / "empty");
  EXPECT_FALSE(catalog.ChangeFolder((dir.path() / "empty").string()));
  EXPECT_TRUE(catalog.rows().empty());
  EXPECT_FALSE(catalog.Select(0));
  EXPECT_EQ(catalog.sortState().column(), kColumnDate);
  EXPECT_TRUE(catalog.sortState().ascending());
}

TEST_F(CatalogTest, SelectionReachesTheListedFile) {
  for (const std::string& folderText : {folder(), folder() + "/"}) {
    Catalog catalog(folderText);
    catalog.Fill();
    catalog.ColumnClick(kColumnName);  // a, B, fw, Model.A
    const std::optional<Selection> selection = catalog.Select(2);
    ASSERT_TRUE(selection);
    EXPECT_EQ(selection->filePath, folderText + "/fw.SFL");
    EXPECT_EQ(selection->title, "fw - Tarvel");
    EXPECT_EQ(ReadCommentBoxText(selection->filePath), ";fw.SFL\r\n");
    EXPECT_FALSE(catalog.Select(4));
  }
}

TEST(SelectRowTest, TitleIsDisplayTextAndPathKeepsTheBytes) {
  const CatalogRow row{"caf\xE9", "2006/06/29 9:05", "caf\xE9.Sfl", 0};
  const Selection selection = SelectRow("/tmp/x", row);
  EXPECT_EQ(selection.filePath, "/tmp/x/caf\xE9.Sfl");
  EXPECT_EQ(selection.title, "caf\xC3\xA9 - Tarvel");
  EXPECT_EQ(SelectRow("/", row).filePath, "//caf\xE9.Sfl");
}

}  // namespace
}  // namespace tarvel
