#include "catalog/FileList.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "tests/catalog/CatalogFiles.h"

namespace tarvel {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> BaseNamesByFile(const std::vector<CatalogRow>& rows) {
  std::map<std::string, std::string> out;
  for (const CatalogRow& row : rows) out[row.fileName] = row.baseName;
  return out;
}

TEST(FileListTest, ListsEveryEntryEndingInSflAnyCase) {
  test::TempDir dir;
  for (const char* name : {"Model.A.sfl", "fw.SFL", "mixed.SfL", ".hidden.sfl", ".sfl", "caf\xE9.sfl",
                           "fw.sfl.bak", "readme.txt", "sfl", "fwsfl", "fw.sf"}) {
    dir.write(name, ";x\n");
  }
  fs::create_directory(dir.path() / "old.sfl");
  fs::create_directory(dir.path() / "plain");
  fs::create_symlink(dir.path() / "Model.A.sfl", dir.path() / "link.sfl");
  fs::create_symlink(dir.path() / "gone", dir.path() / "dangling.sfl");

  const std::map<std::string, std::string> expected{
      {"Model.A.sfl", "Model.A"}, {"fw.SFL", "fw"},         {"mixed.SfL", "mixed"},
      {".hidden.sfl", ".hidden"}, {".sfl", ""},             {"caf\xE9.sfl", "caf\xE9"},
      {"old.sfl", "old"},         {"link.sfl", "link"},     {"dangling.sfl", "dangling"},
  };
  EXPECT_EQ(BaseNamesByFile(ListSflFolder(dir.path().string())), expected);
}

// The listing comes in NTFS's order (upper-cased names) on every file
// system, and each entry goes on top: the rows run backwards through it.
TEST(FileListTest, RowsComeInReverseUpperCaseNameOrder) {
  test::TempDir dir;
  for (const char* name : {"B.sfl", "a.sfl", "c.SFL", "d.txt", "E.sfl", "f.sfl", "_x.sfl", "a1.sfl"}) dir.write(name, "");
  const std::vector<std::string> expected{"_x.sfl", "f.sfl", "E.sfl", "c.SFL", "B.sfl", "a1.sfl", "a.sfl"};
  std::vector<std::string> shown;
  for (const CatalogRow& row : ListSflFolder(dir.path().string())) shown.push_back(row.fileName);
  EXPECT_EQ(shown, expected);
}

TEST(FileListTest, DateIsLocalTimeWithoutLeadingHourZero) {
  test::TempDir dir;
  const std::string early = dir.write("early.sfl", "");
  const std::string late = dir.write("late.sfl", "");
  ASSERT_TRUE(test::SetWriteTime(early, test::ListedLocalTime(2006, 6, 29, 9, 5) + 59));
  ASSERT_TRUE(test::SetWriteTime(late, test::ListedLocalTime(2006, 6, 29, 10, 30)));

  std::map<std::string, std::string> dates;
  for (const CatalogRow& row : ListSflFolder(dir.path().string())) dates[row.baseName] = row.dateText;
  EXPECT_EQ(dates["early"], "2006/06/29 9:05");
  EXPECT_EQ(dates["late"], "2006/06/29 10:30");
}

TEST(FileListTest, FormatsDateWithTheGivenOffset) {
  struct Case {
    std::int64_t utcSeconds;
    long offsetSeconds;
    const char* text;
  };
  const std::int64_t june29At0905 = 1151571900;  // 2006-06-29 09:05:00 UTC
  const Case cases[] = {
      {0, 0, "1970/01/01 0:00"},
      {june29At0905, 0, "2006/06/29 9:05"},
      {june29At0905 + 59, 0, "2006/06/29 9:05"},  // seconds are not shown
      {june29At0905, 3600, "2006/06/29 10:05"},
      {june29At0905, -9 * 3600 - 1800, "2006/06/28 23:35"},
      {june29At0905 + 5 * 3600 + 25 * 60, 0, "2006/06/29 14:30"},
      {946684799, 1, "2000/01/01 0:00"},
      {-60, 0, "1969/12/31 23:59"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatListDate(c.utcSeconds, c.offsetSeconds), c.text) << c.utcSeconds << " " << c.offsetSeconds;
  }
}

TEST(FileListTest, MissingEmptyOrNonFolderGivesNoRows) {
  test::TempDir dir;
  const std::string file = dir.write("fw.sfl", "");
  fs::create_directory(dir.path() / "empty");
  EXPECT_TRUE(ListSflFolder((dir.path() / "missing").string()).empty());
  EXPECT_TRUE(ListSflFolder((dir.path() / "empty").string()).empty());
  EXPECT_TRUE(ListSflFolder(file).empty());
}

}  // namespace
}  // namespace tarvel
